#include "icmp/echo_message.h"

#include "icmp/net_exceptions.h"

#include <cstring>
#include <netinet/in.h>

namespace {

constexpr int DataOffset = 20;
constexpr int DataLength = 32;
constexpr int Ipv4HeaderLength = 20;
constexpr int Ipv6HeaderLength = 40;
constexpr int IcmpHeaderLength = 8;
constexpr uint8_t Icmpv6EchoRequest = 128;
constexpr uint8_t Icmpv6EchoReply = 129;

uint16_t readLittleEndian(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void writeLittleEndian(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

TIpAddress addressAt(const uint8_t* bytes, TIpFamily family)
{
    return family == TIpFamily::IPv6 ? TIpAddress::FromIpv6(bytes)
                                     : TIpAddress::FromIpv4({bytes[0], bytes[1], bytes[2], bytes[3]});
}

// The IPv6 counterpart of the reading below, on a 40-byte header without extensions: the kernel delivers
// none to an ICMPv6 socket, and our requests carry none. The kernel has checked the sum of every ICMPv6
// message, over the addresses too, before any socket sees it.
TEchoMessage readIpv6(const uint8_t* datagram, int n)
{
    TEchoMessage message;
    if (n < Ipv6HeaderLength + IcmpHeaderLength)
        return message;
    const uint8_t* icmp = datagram + Ipv6HeaderLength;
    const uint8_t type = icmp[0];
    if (type == Icmpv6EchoReply) {
        message.Kind = TEchoMessage::Reply;
        message.Peer = TIpAddress::FromIpv6(datagram + 8);
        message.Identifier = readLittleEndian(icmp + 4);
        message.Sequence = readLittleEndian(icmp + 6);
        message.Status.Outcome = roEchoReply;
    } else if (type >= 1 && type <= 4) {
        // Destination unreachable, packet too big, time exceeded, parameter problem: each carries as much
        // of the offending datagram as fits, which for our request is all of it.
        const uint8_t* request = icmp + IcmpHeaderLength;
        if (2 * (Ipv6HeaderLength + IcmpHeaderLength) > n || request[6] != IPPROTO_ICMPV6
            || request[Ipv6HeaderLength] != Icmpv6EchoRequest)
            return message;
        message.Kind = type == 4 ? TEchoMessage::Problem : TEchoMessage::Report;
        message.Peer = TIpAddress::FromIpv6(request + 24);
        message.Identifier = readLittleEndian(request + Ipv6HeaderLength + 4);
        message.Sequence = readLittleEndian(request + Ipv6HeaderLength + 6);
        message.Status.Outcome = type == 3 ? roTtlExpired : roUnreachable;
    } else {
        // Nobody's answer. That includes our own request, which a raw socket sees when the host is one of
        // our own addresses.
        return message;
    }
    message.Status.SourceAddress = TSocketStack::IpAddressToText(TIpAddress::FromIpv6(datagram + 8));
    message.Status.Ttl = datagram[7];
    return message;
}

TEchoMessage readIpv4(const uint8_t* datagram, int n, bool raw)
{
    TEchoMessage message;
    // Never shorter than a whole IPv4 header, whatever its length field says: the source address and TTL
    // are read from it. Anything shorter than its headers is someone else's, never a reason to stop waiting.
    const int hl = n >= Ipv4HeaderLength ? (datagram[0] & 0x0F) * 4 : 0;
    if (hl < Ipv4HeaderLength || n < hl + IcmpHeaderLength)
        return message;
    const uint8_t* icmp = datagram + hl;
    // A raw socket gets messages before the kernel checks them; a damaged one is no answer (the datagram
    // socket's kernel drops it).
    if (raw && IcmpChecksum(icmp, n - hl) != 0)
        return message;
    const uint8_t type = icmp[0];
    if (type == 0) {
        // Only type 0: a type 8 with our number is our own request, which a raw socket also sees when the
        // host is one of this machine's addresses, whether or not the machine answers it.
        message.Kind = TEchoMessage::Reply;
        message.Peer = addressAt(datagram + 12, TIpFamily::IPv4);
        message.Identifier = readLittleEndian(icmp + 4);
        message.Sequence = readLittleEndian(icmp + 6);
        message.Status.Outcome = roEchoReply;
    } else if (type == 3 || type == 11 || type == 12) {
        // The message carries the header and first eight bytes of the datagram it is about. That header
        // has a length of its own: a router may add options to its message and not to our request.
        const int inner = hl + IcmpHeaderLength;
        if (inner + Ipv4HeaderLength > n)
            return message;
        const uint8_t* request = datagram + inner;
        const int innerHl = (request[0] & 0x0F) * 4;
        // Cut before the request's sequence number, or about something else than an echo request.
        if (innerHl < Ipv4HeaderLength || inner + innerHl + IcmpHeaderLength > n || request[9] != IPPROTO_ICMP
            || request[innerHl] != 8)
            return message;
        message.Kind = type == 12 ? TEchoMessage::Problem : TEchoMessage::Report;
        message.Peer = addressAt(request + 16, TIpFamily::IPv4);
        message.Identifier = readLittleEndian(request + innerHl + 4);
        message.Sequence = readLittleEndian(request + innerHl + 6);
        message.Status.Outcome = type == 3 ? roUnreachable : roTtlExpired;
    } else {
        // Redirects, timestamps and the rest answer nobody's echo request.
        return message;
    }
    message.Status.SourceAddress = TSocketStack::AddressToText(datagram + 12);
    message.Status.Ttl = datagram[8];
    return message;
}

} // namespace

uint16_t IcmpChecksum(const uint8_t* bytes, int length)
{
    // Summed in the machine's order and stored back the same way, which gives the same bytes as the
    // network-order sum on any machine.
    uint32_t sum = 0;
    int i = 0;
    for (; i + 1 < length; i += 2) {
        uint16_t word;
        std::memcpy(&word, bytes + i, 2);
        sum += word;
    }
    if (i < length) {
        const uint8_t last[2] = {bytes[i], 0};
        uint16_t word;
        std::memcpy(&word, last, 2);
        sum += word;
    }
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum);
}

void BuildEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t stamp, const std::string& data)
{
    std::memset(out, 0, EchoRequestLength);
    out[0] = 8;
    writeLittleEndian(out + 4, identifier);
    writeLittleEndian(out + 6, sequence);
    for (int i = 0; i < 4; ++i)
        out[8 + i] = static_cast<uint8_t>(stamp >> (8 * i));
    for (int i = 0; i < DataLength; ++i)
        out[DataOffset + i]
            = static_cast<size_t>(i) < data.size() ? static_cast<uint8_t>(data[static_cast<size_t>(i)]) : uint8_t(0x45);
    const uint16_t sum = IcmpChecksum(out, EchoRequestLength);
    std::memcpy(out + 2, &sum, 2);
}

void MakeIcmpv6Request(uint8_t* request)
{
    request[0] = Icmpv6EchoRequest;
    request[2] = request[3] = 0;
}

TEchoMessage ReadEchoMessage(const uint8_t* datagram, int n, TIpFamily family, bool raw)
{
    TEchoMessage message = family == TIpFamily::IPv6 ? readIpv6(datagram, n) : readIpv4(datagram, n, raw);
    if (message.Kind != TEchoMessage::Foreign) {
        message.Status.ByteCount = n;
        message.Status.IcmpType = datagram[family == TIpFamily::IPv6 ? Ipv6HeaderLength : (datagram[0] & 0x0F) * 4];
        message.Status.SequenceNumber = message.Sequence;
    }
    return message;
}

bool TReplyMatch::Accepts(const TEchoMessage& message) const
{
    if (message.Kind == TEchoMessage::Foreign || message.Sequence != Sequence)
        return false;
    if (Destination && std::memcmp(message.Peer.Bytes.data(), Destination->Bytes.data(), Destination->Size()) != 0)
        return false;
    return !Identifier || message.Identifier == *Identifier;
}

bool DecodeDatagram(const uint8_t* datagram, int n, const TReplyMatch& match, TReplyStatus& status)
{
    status.Outcome = roError;
    const TEchoMessage message = ReadEchoMessage(datagram, n, match.Family, match.CheckSum);
    if (!match.Accepts(message))
        return false;
    // Our request was thrown away for a fault in its header: no answer will come.
    if (message.Kind == TEchoMessage::Problem)
        throw ENetIcmpException("Non-echo type response received");
    status = message.Status;
    return true;
}
