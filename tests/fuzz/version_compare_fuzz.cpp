// Two arbitrary versions in every format: a version is never newer than itself, nor both ways round.
#include "update/version_compare.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string_view a = input.substr(0, split);
    const std::string_view b = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    for (int format : {int(vfStandard), int(vfString), int(vfNumber), 3}) {
        if (PublishedVersionIsNewer(a, a, format))
            std::abort();
        if (format != vfStandard && PublishedVersionIsNewer(a, b, format) && PublishedVersionIsNewer(b, a, format))
            std::abort();
    }
    return 0;
}
