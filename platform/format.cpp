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
