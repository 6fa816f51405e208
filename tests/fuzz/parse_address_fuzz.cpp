// Any host text: the address parsers never misbehave, and what they accept prints back to the same address.
#include "icmp/net_exceptions.h"
#include "icmp/socket_stack.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TAddressBytes bytes {};
    if (TSocketStack::ParseAddress(text, bytes)) {
        TAddressBytes again {};
        const std::string printed = TSocketStack::AddressToText(bytes.data());
        if (!TSocketStack::ParseAddress(printed, again) || again != bytes)
            __builtin_trap();
    }
    if (!TSocketStack::IsIpv6Literal(text))
        return 0;
    try {
        const TIpAddress address = TSocketStack::TextToIpAddress(std::string(text));
        if (TSocketStack::TextToIpAddress(TSocketStack::IpAddressToText(address)) != address)
            __builtin_trap();
    } catch (const ENetInvalidIPAddress&) {
        // A zone naming no interface.
    }
    return 0;
}
