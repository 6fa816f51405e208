#include "ui/form_style.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

QFont FormFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

QIcon ProgramIcon()
{
    QImage emblem(64, 64, QImage::Format_ARGB32_Premultiplied);
    emblem.fill(Qt::transparent);
    QPainter painter(&emblem);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer(QStringLiteral(":/corvane.svg")).render(&painter);
    painter.end();
    // Drawn once and scaled down: each drawing of the emblem's gradients costs more than all the scaling.
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(
            side == 64 ? emblem : emblem.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return icon;
}
