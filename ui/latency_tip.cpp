#include "ui/latency_tip.h"

#include "platform/text_locale.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

constexpr int Margin = 6;
constexpr int SlotWidth = 3;
constexpr int GraphHeight = 32;
constexpr int AxisGap = 4;

// A host or an engine message may hold line breaks; a tip line keeps to one line.
QString oneLine(const QString& text)
{
    return text.simplified();
}

// The top of the scale is a round number: "2 ms" rather than "2,0 ms".
QString scaleText(uint32_t us)
{
    return (us % 1000 == 0 ? QString::number(us / 1000) : MillisecondsText(us)) + QStringLiteral(" ms");
}

QString sinceText(const QDateTime& since, const QDateTime& now)
{
    const QString clock = since.toString(QStringLiteral("HH:mm"));
    if (since.date() == now.date())
        return TLatencyTip::tr("dalle %1").arg(clock);
    return TLatencyTip::tr("dalle %1 del %2").arg(clock, DateText(since.date()));
}

} // namespace

QStringList LatencyTipLines(const TLatencyFigures& figures, const QDateTime& now)
{
    if (!figures.Pinged)
        return {oneLine(figures.Name), TLatencyTip::tr("Non ancora controllata.")};

    QStringList lines;
    const QString host = oneLine(figures.Host);
    const QString address = oneLine(figures.Address);
    lines << (address.isEmpty() || address == host ? host : QStringLiteral("%1 (%2)").arg(host, address));

    QString last = TLatencyTip::tr("Ultimo giro: ");
    // A run that ended in an error before any exchange has nothing to count, only the error to tell.
    if (figures.Sent > 0 || figures.Error.isEmpty()) {
        last += TLatencyTip::tr("%1/%2 risposte").arg(figures.Received).arg(figures.Sent);
        if (figures.Received > 0)
            last += QStringLiteral(", %1 / %2 / %3 ms")
                        .arg(MillisecondsText(figures.MinUs), MillisecondsText(figures.AvgUs),
                             MillisecondsText(figures.MaxUs));
        if (!figures.Error.isEmpty())
            last += QStringLiteral("; ");
    }
    lines << last + oneLine(figures.Error);

    if (const auto kept = static_cast<int>(figures.Rounds.size()); kept > 0) {
        const auto failed = static_cast<int>(std::count_if(figures.Rounds.begin(), figures.Rounds.end(),
                                                           [](const TSparkPoint& point) { return !point.Answered; }));
        lines << TLatencyTip::tr("Senza risposta: %1 %2 su %3 (%4%)")
                     .arg(failed)
                     .arg(failed == 1 ? TLatencyTip::tr("giro") : TLatencyTip::tr("giri"))
                     .arg(kept)
                     .arg((failed * 100 + kept / 2) / kept);
    }

    const bool known = figures.Since.isValid();
    switch (figures.Standing) {
    case TLatencyStanding::Up:
        lines << (known ? TLatencyTip::tr("Risponde %1").arg(sinceText(figures.Since, now))
                        : TLatencyTip::tr("Risponde"));
        break;
    case TLatencyStanding::Down:
        lines << (known ? TLatencyTip::tr("Non risponde %1").arg(sinceText(figures.Since, now))
                        : TLatencyTip::tr("Non risponde"));
        break;
    case TLatencyStanding::Unknown:
        lines << TLatencyTip::tr("Non ha ancora risposto");
        break;
    }
    return lines;
}

QString LatencyGraphCaption(const TLatencyFigures& figures)
{
    const auto kept = static_cast<int>(figures.Rounds.size());
    if (SparklineScaleUs(figures.Rounds) == 0)
        return kept == 1 ? TLatencyTip::tr("Nessuna risposta nell'ultimo giro")
                         : TLatencyTip::tr("Nessuna risposta negli ultimi %1 giri").arg(kept);
    return kept == 1 ? TLatencyTip::tr("Tempo medio dell'ultimo giro")
                     : TLatencyTip::tr("Tempo medio degli ultimi %1 giri").arg(kept);
}

TLatencyTip::TLatencyTip(QWidget* parent)
    : QWidget(parent,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput)
{
    setObjectName(QStringLiteral("latencyTip"));
    // Lets the pointer through to the rows beneath, so moving on to the next row is not a leave.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
}

void TLatencyTip::ShowBeside(const QRect& row, const TLatencyFigures& figures)
{
    m_lines = LatencyTipLines(figures, QDateTime::currentDateTime());
    m_rounds = figures.Pinged ? figures.Rounds : std::vector<TSparkPoint>();
    m_capacity = std::max(figures.Capacity, static_cast<int>(m_rounds.size()));
    m_scaleUs = SparklineScaleUs(m_rounds);
    m_caption = m_rounds.empty() ? QString() : LatencyGraphCaption(figures);

    QFont bold = font();
    bold.setBold(true);
    // Text is laid out with fractional advances: a width rounded down would have a line cut by its last pixel.
    const auto advance = [this](const QFont& face, const QString& text) {
        return static_cast<int>(std::ceil(QFontMetricsF(face, this).horizontalAdvance(text)));
    };
    int width = advance(bold, m_lines.value(0));
    for (qsizetype i = 1; i < m_lines.size(); ++i)
        width = std::max(width, advance(font(), m_lines[i]));
    int height = Margin * 2 + fontMetrics().lineSpacing() * static_cast<int>(m_lines.size());
    if (!m_rounds.empty()) {
        // The scale's top and bottom are written at the right of the picture, as on an axis.
        const int axis = m_scaleUs == 0 ? 0 : AxisGap + advance(font(), scaleText(m_scaleUs));
        width = std::max({width, m_capacity * SlotWidth + axis, advance(font(), m_caption)});
        height += Margin + GraphHeight + 2 + fontMetrics().lineSpacing();
    }
    const QScreen* screen = QGuiApplication::screenAt(row.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // A host name or an error text may be longer than the screen is wide; its line is cut with an ellipsis.
    if (screen)
        width = std::min(width, screen->availableGeometry().width() - Margin * 2);
    const QSize size(width + Margin * 2, height);
    const QRect room = screen ? screen->availableGeometry() : QRect(QPoint(), size);
    constexpr int Gap = 8;
    int x = row.right() + 1 + Gap;
    if (x + size.width() > room.right() + 1)
        x = row.left() - Gap - size.width();
    x = std::clamp(x, room.left(), std::max(room.left(), room.right() + 1 - size.width()));
    const int y = std::clamp(row.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
    setGeometry(QRect(QPoint(x, y), size));
    show();
    raise();
    update();
}

void TLatencyTip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::ToolTipBase));
    // The frame as four fills, a logical pixel wide whatever the scale, with no half-covered pixel.
    const QColor frame = palette().color(QPalette::ToolTipText);
    painter.fillRect(QRect(0, 0, width(), 1), frame);
    painter.fillRect(QRect(0, height() - 1, width(), 1), frame);
    painter.fillRect(QRect(0, 0, 1, height()), frame);
    painter.fillRect(QRect(width() - 1, 0, 1, height()), frame);
    painter.setPen(frame);

    const int spacing = fontMetrics().lineSpacing();
    int top = Margin;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QFont face = font();
        face.setBold(i == 0);
        painter.setFont(face);
        const int room = width() - Margin * 2;
        painter.drawText(QRect(Margin, top, room, spacing), Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetrics(face, this).elidedText(m_lines[i], Qt::ElideRight, room));
        top += spacing;
    }
    if (m_rounds.empty())
        return;
    top += Margin;
    TSparklineColors colors;
    colors.Axis = palette().color(QPalette::ToolTipText);
    colors.Axis.setAlpha(110);
    PaintSparkline(painter, QRectF(Margin, top, m_capacity * SlotWidth, GraphHeight), m_rounds, m_capacity, m_scaleUs,
                   colors);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::ToolTipText));
    if (m_scaleUs > 0) {
        const int axis = Margin + m_capacity * SlotWidth + AxisGap;
        const QRect labels(axis, top, width() - axis - Margin, GraphHeight + 1);
        painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, scaleText(m_scaleUs));
        painter.drawText(labels, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("0"));
    }
    painter.drawText(QRect(Margin, top + GraphHeight + 2, width() - Margin * 2, spacing),
                     Qt::AlignLeft | Qt::AlignVCenter, m_caption);
}
