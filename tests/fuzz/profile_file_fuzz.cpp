// Any settings file: a read never misbehaves, a written value reads back as itself, and a write changes
// no other key. The first bytes up to a NUL are the value to write, the rest is the file.
#include "platform/profile_file.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    if (split == std::string_view::npos)
        return 0;
    std::string value(input.substr(0, split));
    const std::string content(input.substr(split + 1));

    const auto otherBefore = ProfileGetValue(content, "Mail", "host");
    const auto checkBefore = ProfileGetValue(content, "Check", "TimeCheck");
    const std::string written = ProfileSetValue(content, "Mail", "pwd", value);

    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    const auto back = ProfileGetValue(written, "Mail", "pwd");
    if (!back || *back != value.substr(0, ProfileValueLimit))
        __builtin_trap();
    if (ProfileGetValue(written, "Mail", "host") != otherBefore
        || ProfileGetValue(written, "Check", "TimeCheck") != checkBefore)
        __builtin_trap();
    // Writing the same value again changes nothing.
    if (ProfileSetValue(written, "Mail", "pwd", value) != written)
        __builtin_trap();
    return 0;
}
