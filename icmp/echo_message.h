// The bytes of an echo request, and what a received datagram says about which request it answers.
#pragma once

#include "icmp/reply_status.h"
#include "icmp/socket_stack.h"

#include <cstdint>
#include <optional>
#include <string>

inline constexpr int EchoRequestLength = 52;

// The ones' complement sum of RFC 1071 over `length` bytes, as it is stored in a message.
uint16_t IcmpChecksum(const uint8_t* bytes, int length);

// Writes our 52-byte request: type 8, its sum, the identifier and sequence little-endian, `stamp` (the
// millisecond clock) in the next four bytes, then `data` in the last 32 bytes, padded with 'E'.
void BuildEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t stamp, const std::string& data);
// Makes a built request an ICMPv6 one: ICMPv6 has echo types of its own, and its sum covers the IPv6
// addresses, which the kernel fills in along with it.
void MakeIcmpv6Request(uint8_t* request);

// What a received datagram is about, as far as its bytes tell.
struct TEchoMessage
{
    enum TKind : uint8_t {
        Foreign, // nobody's answer: another type, too short, a wrong checksum, about someone else's datagram
        Reply, // an echo reply
        Report, // an ICMP error about one of our echo requests (time exceeded, unreachable)
        Problem, // a parameter problem about one of our echo requests: it was thrown away
    };
    TKind Kind = Foreign;
    // The host pinged: a reply's source, or the destination of the request an error carries.
    TIpAddress Peer;
    uint16_t Identifier = 0;
    uint16_t Sequence = 0;
    // Filled for a Reply or Report, as TReplyStatus reads; the round trip is left to the caller.
    TReplyStatus Status;
};

// Reads one datagram of exactly `n` bytes (IP header first, whatever the socket's kind and family), reading
// nothing beyond them. `raw` says the datagram came through a raw IPv4 socket, where the kernel has not
// checked the ICMP sum: a message whose sum is wrong is then foreign. ICMPv6 errors map onto the IPv4
// outcomes: time exceeded on roTtlExpired, destination unreachable and packet too big on roUnreachable.
TEchoMessage ReadEchoMessage(const uint8_t* datagram, int n, TIpFamily family, bool raw);

// What makes a received message the answer to our request.
struct TReplyMatch
{
    uint16_t Sequence = 0;
    // Our identifier, where the platform does not sort echo replies by it itself (raw sockets).
    std::optional<uint16_t> Identifier;
    // The address pinged: echo replies from anywhere else, and errors about datagrams sent elsewhere, are
    // someone else's, such as a late answer to the previous host.
    std::optional<TIpAddress> Destination;
    // What the datagram is: an IPv4 one with an ICMP message, or an IPv6 one with an ICMPv6 message.
    TIpFamily Family = TIpFamily::IPv4;
    // Whether the ICMP sum is still to be checked (a raw IPv4 socket's datagram).
    bool CheckSum = false;

    // Whether `message` is about the request this describes.
    bool Accepts(const TEchoMessage& message) const;
};

// Decodes one received datagram of exactly `n` bytes. False when the message is not about our request:
// another type (our own request looped back included), another host, another identifier or sequence, a
// datagram shorter than its headers, a wrong sum, or an error message too short to name the request it is
// about. Raises ENetIcmpException for a parameter problem reported about our request.
bool DecodeDatagram(const uint8_t* datagram, int n, const TReplyMatch& match, TReplyStatus& status);
