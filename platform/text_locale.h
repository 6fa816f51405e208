// Numbers, times and dates as the language the program speaks writes them, from one locale chosen at start.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <cstdint>

// Italian, the program's own language, until the start chooses another.
const QLocale& TextLocale();
void SetTextLocale(const QLocale& locale);

// A round trip in microseconds as milliseconds with the locale's decimal separator: tenths ("1,5" or "1.5" for
// 1450), and hundredths below a tenth, where tenths would all read "0,0" ("0,04" for 40, as loopback and a
// local network answer).
QString MillisecondsText(uint32_t us);

// A day as the language writes it: "03/05/2026" in Italian, "3 May 2026" in English.
QString DateText(const QDate& date);
