// Draws a piece of SVG artwork at its designed size, as the program would, into a file of raw 32-bit pixels that
// the build compiles into the program: on the key colour (OUTPUT.rgb32), or with its transparency (OUTPUT.argb32).
// prerender OUTPUT INPUT.svg WIDTH HEIGHT
#include "ui/keyed_picture.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: prerender OUTPUT.rgb32|OUTPUT.argb32 INPUT.svg WIDTH HEIGHT\n");
        return 2;
    }
    const QString outputPath = QString::fromLocal8Bit(argv[1]);
    const QString svg = QString::fromLocal8Bit(argv[2]);
    const QSize size(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt());
    QImage picture;
    if (outputPath.endsWith(QLatin1String(".argb32"))) {
        picture = QImage(size, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer(svg).render(&painter);
    } else {
        picture = RenderKeyedSvg(svg, size, 1.0);
    }
    QFile output(outputPath);
    if (picture.isNull() || !output.open(QIODevice::WriteOnly))
        return 1;
    // Scan lines of 32-bit pixels need no padding: the program reads the bytes back as they are.
    const auto bytes = static_cast<qint64>(picture.sizeInBytes());
    return output.write(reinterpret_cast<const char*>(picture.constBits()), bytes) == bytes ? 0 : 1;
}
