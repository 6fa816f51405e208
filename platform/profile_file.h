// Profile (INI) files edited line by line: a write touches only its own line, everything else stays byte for byte.
#pragma once

#include <optional>
#include <string>

// The longest value a read returns; longer values are cut.
inline constexpr size_t ProfileValueLimit = 2047;

// The value of `key` in `section` of INI text, or nothing. Names match without regard to letter case;
// blanks around the value and one pair of enclosing quotes are dropped.
std::optional<std::string> ProfileGetValue(const std::string& content, const std::string& section,
                                           const std::string& key);

// INI text with `key` in `section` set to `value`: the key's line is replaced in place, or the key is
// added at the end of its section, or the section is appended. Line breaks in `value` become blanks; a value
// that would not read back as itself (blanks at either end, or one enclosing pair of quotes) is written
// inside double quotes.
std::string ProfileSetValue(const std::string& content, const std::string& section, const std::string& key,
                            const std::string& value);

// Reads from the file at `path`; a missing file, section or key gives `fallback`.
std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& fallback,
                              const std::string& path);

// Writes into the file at `path`, creating it (readable by its owner only) when missing. A private value
// (a password) also takes away any access of others to an existing file.
// The file is replaced atomically. Returns 0 or the errno that stopped the write.
int WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path, bool privateValue = false);
