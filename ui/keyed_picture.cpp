#include "ui/keyed_picture.h"

#include <QBitmap>
#include <QPainter>
#include <QResource>
#include <QSvgRenderer>

#include <cmath>

QString PrerenderedPath(const QString& svgPath, const QSize& size)
{
    const QString name = svgPath.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
    return QStringLiteral(":/prerendered/%1-%2x%3.rgb32").arg(name).arg(size.width()).arg(size.height());
}

QImage RenderKeyedPicture(const QString& svgPath, const QSize& logicalSize, qreal devicePixelRatio)
{
    if (devicePixelRatio == 1.0 && svgPath.startsWith(QLatin1String(":/"))) {
        // Stored uncompressed, so the picture is the program's own read-only data: nothing to decode or copy.
        const QResource copy(PrerenderedPath(svgPath, logicalSize));
        const qint64 bytesPerLine = qint64(logicalSize.width()) * 4;
        if (copy.isValid() && copy.compressionAlgorithm() == QResource::NoCompression
            && copy.size() == bytesPerLine * logicalSize.height())
            return QImage(copy.data(), logicalSize.width(), logicalSize.height(), bytesPerLine, QImage::Format_RGB32);
    }
    return RenderKeyedSvg(svgPath, logicalSize, devicePixelRatio);
}

QImage RenderKeyedSvg(const QString& svgPath, const QSize& logicalSize, qreal devicePixelRatio)
{
    const QSize pixels(static_cast<int>(std::ceil(logicalSize.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(logicalSize.height() * devicePixelRatio)));
    QImage art(pixels, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    {
        QSvgRenderer renderer(svgPath);
        QPainter painter(&art);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    const QRgb key = KeyColor.rgb();
    QImage keyed(pixels, QImage::Format_RGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(art.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            const QRgb p = in[x];
            if (qAlpha(p) < 128) {
                out[x] = key;
                continue;
            }
            // Premultiplied colour is the colour over black.
            QRgb c = qRgb(qRed(p), qGreen(p), qBlue(p));
            if (c == key)
                c = qRgb(254, 255, 0);
            out[x] = c;
        }
    }
    keyed.setDevicePixelRatio(devicePixelRatio);
    return keyed;
}

QRegion OpaqueRegion(const QImage& image)
{
    const qreal ratio = image.devicePixelRatio();
    const int width = static_cast<int>(std::floor(image.width() / ratio));
    const int height = static_cast<int>(std::floor(image.height() / ratio));
    const QRgb key = KeyColor.rgb() & 0xffffff;
    QImage mask(width, height, QImage::Format_Mono);
    // Index 1 is black, which a bitmap takes as set.
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    // Set straight in the scan line, most significant bit first: setPixel would cost a call each.
    const auto set = [](uchar* bits, int x) { bits[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7)); };
    if (ratio == 1.0) {
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* bits = mask.scanLine(y);
            for (int x = 0; x < width; ++x)
                if ((line[x] & 0xffffff) != key)
                    set(bits, x);
        }
        return QRegion(QBitmap::fromImage(mask));
    }
    for (int y = 0; y < height; ++y) {
        const int y0 = static_cast<int>(std::floor(y * ratio));
        const int y1 = std::min(image.height(), static_cast<int>(std::ceil((y + 1) * ratio)));
        uchar* bits = mask.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int x0 = static_cast<int>(std::floor(x * ratio));
            const int x1 = std::min(image.width(), static_cast<int>(std::ceil((x + 1) * ratio)));
            bool opaque = true;
            for (int dy = y0; dy < y1 && opaque; ++dy) {
                const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(dy));
                for (int dx = x0; dx < x1; ++dx)
                    if ((line[dx] & 0xffffff) == key) {
                        opaque = false;
                        break;
                    }
            }
            if (opaque)
                set(bits, x);
        }
    }
    return QRegion(QBitmap::fromImage(mask));
}
