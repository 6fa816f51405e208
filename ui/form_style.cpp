#include "ui/form_style.h"

#include <QFontDatabase>

QFont FormFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}
