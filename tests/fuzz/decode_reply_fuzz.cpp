// Any datagram at all: the decoder reads only the bytes it was given and raises only its own errors.
#include "icmp/icmp_client.h"
#include "icmp/net_exceptions.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4 || size > TIcmpClient::BufferLength + 3)
        return 0;
    TReplyMatch match;
    match.Sequence = static_cast<uint16_t>(data[0] | (data[1] << 8));
    // The third byte chooses which checks apply and the family, so that every socket path is covered.
    if (data[2] & 1)
        match.Identifier = static_cast<uint16_t>(data[0] ^ data[1]);
    match.CheckSum = data[2] & 8;
    if (data[2] & 4) {
        match.Family = TIpFamily::IPv6;
        uint8_t address[16] = {0x20, 0x01, 0x0d, 0xb8};
        address[15] = data[2];
        if (data[2] & 2)
            match.Destination = TIpAddress::FromIpv6(address);
    } else if (data[2] & 2) {
        match.Destination = TIpAddress::FromIpv4({127, 0, 0, data[2]});
    }
    // An exact-size copy, so a read past the datagram is a read past the allocation.
    std::vector<uint8_t> datagram(data + 3, data + size);
    TReplyStatus status;
    try {
        const bool ours = DecodeDatagram(datagram.data(), static_cast<int>(datagram.size()), match, status);
        if (ours && (status.ByteCount != static_cast<int>(datagram.size()) || status.SequenceNumber != match.Sequence))
            __builtin_trap();
    } catch (const ENetIcmpException&) { }
    return 0;
}
