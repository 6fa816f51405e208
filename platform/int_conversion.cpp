#include "platform/int_conversion.h"

#include "platform/exception.h"
#include "platform/format.h"

#include <limits>
#include <string>

namespace {

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

} // namespace

bool TryParseInteger(std::string_view text, int64_t& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return false;
    // Accumulate as a negative number so that the most negative value fits.
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
    const int64_t limit = lowest / base; // below this, one more digit overflows
    int64_t acc = 0;
    for (; i < text.size(); ++i) {
        const int d = digitValue(text[i], base);
        if (d < 0)
            return false;
        if (acc < limit || acc * base < lowest + d)
            return false;
        acc = acc * base - d;
    }
    if (!negative) {
        if (acc == lowest)
            return false;
        acc = -acc;
    }
    value = acc;
    return true;
}

bool TryStrToInt(std::string_view text, int32_t& value)
{
    int64_t wide = 0;
    if (!TryParseInteger(text, wide) || wide < std::numeric_limits<int32_t>::min()
        || wide > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<int32_t>(wide);
    return true;
}

int32_t StrToInt(std::string_view text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConversionError(Format("'%s' is not a valid integer value", std::string(text).c_str()));
    return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback)
{
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}
