// The one integer syntax of resource files, settings and address parts:
// leading blanks, an optional sign, then decimal digits or hex digits after "$", "x" or "0x".
#pragma once

#include <cstdint>
#include <string_view>

// Reads the whole text or nothing; false on any other character or on overflow past 64 bits.
bool TryParseInteger(std::string_view text, int64_t& value);

// As above, limited to the signed 32-bit range.
bool TryStrToInt(std::string_view text, int32_t& value);

// Raises EConversionError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view text);

int32_t StrToIntDef(std::string_view text, int32_t fallback);
