#include "ui/sparkline.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <algorithm>
#include <cmath>

uint32_t SparklineScaleUs(const std::vector<TSparkPoint>& points)
{
    bool answered = false;
    uint32_t slowest = 0;
    for (const TSparkPoint& point : points)
        if (point.Answered) {
            answered = true;
            slowest = std::max(slowest, point.Us);
        }
    if (!answered)
        return 0;
    for (uint64_t power = 100;; power *= 10)
        for (const uint64_t step : {1, 2, 5})
            if (step * power >= slowest)
                return static_cast<uint32_t>(std::min<uint64_t>(step * power, UINT32_MAX));
}

void PaintSparkline(QPainter& painter, const QRectF& area, const std::vector<TSparkPoint>& points, int capacity,
                    uint32_t scaleUs, const TSparklineColors& colors)
{
    const int count = static_cast<int>(points.size());
    capacity = std::max(capacity, count);
    if (capacity <= 0 || area.isEmpty())
        return;
    // Edges fall on whole device pixels, so every bar is as wide as the next at any scale factor.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const auto snap = [ratio](qreal logical) { return std::round(logical * ratio) / ratio; };
    const qreal slot = area.width() / capacity;
    const qreal base = snap(area.bottom());
    const auto slotLeft = [&](int index) { return area.left() + (capacity - count + index) * slot; };
    const auto centre = [&](int index) { return slotLeft(index) + slot / 2; };
    const auto height = [&](uint32_t us) {
        const qreal share = scaleUs == 0 ? 0.0 : std::min<qreal>(1.0, static_cast<qreal>(us) / scaleUs);
        return base - share * (base - area.top());
    };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colors.Axis, 0));
    painter.drawLine(QPointF(area.left(), base), QPointF(area.right(), base));

    // A gap of a device pixel between neighbouring bars keeps a run of failures countable.
    const qreal gap = std::max(1.0 / ratio, snap(slot / 4));
    for (int i = 0; i < count; ++i)
        if (!points[static_cast<size_t>(i)].Answered) {
            const qreal left = snap(slotLeft(i));
            const qreal right = std::max(left + 1.0 / ratio, snap(slotLeft(i) + slot) - gap);
            painter.fillRect(QRectF(QPointF(left, snap(area.top())), QPointF(right, base)), colors.Failed);
        }

    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPen line(colors.Line, std::max(1.0, slot / 2), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    // Runs of answered rounds; a failed round breaks the line rather than pretending a value.
    for (int start = 0; start < count;) {
        if (!points[static_cast<size_t>(start)].Answered) {
            ++start;
            continue;
        }
        int end = start;
        while (end + 1 < count && points[static_cast<size_t>(end + 1)].Answered)
            ++end;
        QPainterPath trace(QPointF(centre(start), height(points[static_cast<size_t>(start)].Us)));
        for (int i = start + 1; i <= end; ++i)
            trace.lineTo(centre(i), height(points[static_cast<size_t>(i)].Us));
        if (end > start) {
            QPainterPath under = trace;
            under.lineTo(centre(end), base);
            under.lineTo(centre(start), base);
            under.closeSubpath();
            painter.fillPath(under, colors.Fill);
            painter.strokePath(trace, line);
        } else {
            // A lone answer between failures is a dot, or it would not show at all.
            painter.setPen(Qt::NoPen);
            painter.setBrush(colors.Line);
            const qreal radius = line.widthF() * 0.75;
            painter.drawEllipse(trace.currentPosition(), radius, radius);
        }
        start = end + 1;
    }
    painter.restore();
}
