// Any host text: the address parser never misbehaves, and what it accepts prints back to the same bytes.
#include "icmp/socket_stack.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TAddressBytes bytes {};
    if (!TSocketStack::ParseAddress(text, bytes))
        return 0;
    TAddressBytes again {};
    const std::string printed = TSocketStack::AddressToText(bytes.data());
    if (!TSocketStack::ParseAddress(printed, again) || again != bytes)
        __builtin_trap();
    return 0;
}
