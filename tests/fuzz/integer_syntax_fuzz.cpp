// Any text as an integer: what is accepted prints back to the same value, agrees with the standard library
// on plain decimal text, and the 32-bit reading is the 64-bit one within its range.
#include "platform/int_conversion.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

// Blanks, an optional sign, decimal digits: the part of the syntax std::from_chars also reads.
bool plainDecimal(std::string_view text, int64_t& value, bool& fits)
{
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return false;
    text.remove_prefix(start);
    std::string digits(text);
    size_t first = 0;
    if (digits[0] == '+')
        digits.erase(0, 1);
    else if (digits[0] == '-')
        first = 1;
    if (digits.size() == first || digits.find_first_not_of("0123456789", first) != std::string::npos)
        return false;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    fits = error == std::errc() && end == digits.data() + digits.size();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int64_t value = 0;
    const bool accepted = TryParseInteger(text, value);

    int64_t expected = 0;
    bool fits = false;
    if (plainDecimal(text, expected, fits) && (accepted != fits || (accepted && value != expected)))
        __builtin_trap();

    int32_t narrow = 0;
    const bool narrowAccepted = TryStrToInt(text, narrow);
    const bool inRange
        = accepted && value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
    if (narrowAccepted != inRange || (narrowAccepted && narrow != value))
        __builtin_trap();
    if (StrToIntDef(text, 7) != (narrowAccepted ? narrow : 7))
        __builtin_trap();

    if (!accepted)
        return 0;
    int64_t again = 0;
    if (!TryParseInteger(std::to_string(value), again) || again != value)
        __builtin_trap();
    if (!TryParseInteger("  " + std::string(text), again) || again != value)
        __builtin_trap();
    // Nothing may follow the digits.
    if (TryParseInteger(std::string(text) + "g", again))
        __builtin_trap();
    return 0;
}
