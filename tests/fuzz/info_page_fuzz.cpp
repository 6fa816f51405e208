// Feeds arbitrary page bytes through line splitting and tag reading; values must come from the page.
#include "update/info_page.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const TUpdateInfo info = ParseInfoPage(page, TTagInfo());
    for (const std::string* value : {&info.Version, &info.ProductName, &info.Download, &info.ClientFileName}) {
        if (value->size() > 254 || (!value->empty() && page.find(*value) == std::string_view::npos))
            std::abort();
    }
    const std::string name = SafeClientFileName(info.ClientFileName);
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == ".." || name == ".")
        std::abort();
    return 0;
}
