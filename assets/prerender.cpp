// Draws a piece of SVG artwork on the key colour at its designed size, as the program would, into a file of raw
// 32-bit pixels that the build compiles into the program: prerender OUTPUT.rgb32 INPUT.svg WIDTH HEIGHT
#include "ui/keyed_picture.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: prerender OUTPUT.rgb32 INPUT.svg WIDTH HEIGHT\n");
        return 2;
    }
    const QImage picture = RenderKeyedSvg(QString::fromLocal8Bit(argv[2]),
                                          QSize(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt()), 1.0);
    QFile output(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull() || picture.format() != QImage::Format_RGB32 || !output.open(QIODevice::WriteOnly))
        return 1;
    // Scan lines of RGB32 need no padding: the program reads the bytes back as they are.
    const auto size = static_cast<qint64>(picture.sizeInBytes());
    return output.write(reinterpret_cast<const char*>(picture.constBits()), size) == size ? 0 : 1;
}
