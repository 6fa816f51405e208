#include "ui/form_style.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QResource>
#include <QSvgRenderer>

QFont FormFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

QIcon ProgramIcon()
{
    constexpr int Side = 64;
    // The build's drawing of the emblem, stored uncompressed (see ui/keyed_picture.h); drawn here without it.
    const QResource prerendered(QStringLiteral(":/prerendered/corvane-64x64.argb32"));
    QImage emblem;
    if (prerendered.isValid() && prerendered.compressionAlgorithm() == QResource::NoCompression
        && prerendered.size() == Side * Side * 4) {
        emblem = QImage(prerendered.data(), Side, Side, Side * 4, QImage::Format_ARGB32_Premultiplied);
    } else {
        emblem = QImage(Side, Side, QImage::Format_ARGB32_Premultiplied);
        emblem.fill(Qt::transparent);
        QPainter painter(&emblem);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer(QStringLiteral(":/corvane.svg")).render(&painter);
    }
    // Drawn once and scaled down: each drawing of the emblem's gradients costs more than all the scaling.
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(
            side == 64 ? emblem : emblem.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return icon;
}
