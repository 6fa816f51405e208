// Any datagram at all: the decoder reads only the bytes it was given and raises only its own errors.
#include "icmp/icmp_client.h"
#include "icmp/net_exceptions.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 || size > TIcmpClient::BufferLength + 2)
        return 0;
    const uint16_t expected = static_cast<uint16_t>(data[0] | (data[1] << 8));
    // An exact-size copy, so a read past the datagram is a read past the allocation.
    std::vector<uint8_t> datagram(data + 2, data + size);
    TReplyStatus status;
    try {
        const bool ours = DecodeDatagram(datagram.data(), static_cast<int>(datagram.size()), expected, status);
        if (ours && (status.ByteCount != static_cast<int>(datagram.size()) || status.SequenceNumber != expected))
            __builtin_trap();
    } catch (const ENetIcmpException&) { }
    return 0;
}
