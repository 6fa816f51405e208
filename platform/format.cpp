#include "platform/format.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string text;
    if (size > 0) {
        text.resize(static_cast<size_t>(size));
        std::vsnprintf(text.data(), text.size() + 1, pattern, args);
    }
    va_end(args);
    return text;
}

std::string MillisecondsWithComma(uint32_t us)
{
    if (us < 95) {
        const uint32_t hundredths = (us + 5) / 10;
        return std::string("0,0") + static_cast<char>('0' + hundredths);
    }
    const uint64_t tenths = (static_cast<uint64_t>(us) + 50) / 100;
    return std::to_string(tenths / 10) + ',' + std::to_string(tenths % 10);
}
