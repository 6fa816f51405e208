// printf-style formatting into std::string: the program's messages are written as printf patterns.
#pragma once

#include <cstdint>
#include <string>

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// A round trip given in microseconds as milliseconds with a decimal comma, as the program's Italian texts
// write it: tenths ("1,5" for 1450), and hundredths below a tenth, where tenths would all read "0,0"
// ("0,04" for 40, as loopback and a local network answer).
std::string MillisecondsWithComma(uint32_t us);
