#include "platform/text_locale.h"

#include <QCoreApplication>

namespace {

QLocale& textLocale()
{
    static QLocale locale(QLocale::Italian, QLocale::Italy);
    return locale;
}

} // namespace

const QLocale& TextLocale()
{
    return textLocale();
}

void SetTextLocale(const QLocale& locale)
{
    textLocale() = locale;
}

QString MillisecondsText(uint32_t us)
{
    const QString point = TextLocale().decimalPoint();
    if (us < 95)
        return QLatin1Char('0') + point + QLatin1Char('0') + QString::number((us + 5) / 10);
    const uint64_t tenths = (static_cast<uint64_t>(us) + 50) / 100;
    return QString::number(tenths / 10) + point + QString::number(tenths % 10);
}

QString DateText(const QDate& date)
{
    //: The pattern of a date in QDate::toString's letters; the month's name, if any, comes in the same language.
    return TextLocale().toString(date, QCoreApplication::translate("TextLocale", "dd/MM/yyyy"));
}
