#include "icmp/icmp_client.h"

#include "icmp/millisecond_clock.h"
#include "icmp/net_exceptions.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <netinet/in.h>
#include <unistd.h>

namespace {

constexpr int RequestLength = 52;
constexpr int DataOffset = 20;
constexpr int DataLength = 32;

uint16_t readLittleEndian(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void writeLittleEndian16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr int Ipv6HeaderLength = 40;
constexpr uint8_t Icmpv6EchoRequest = 128;
constexpr uint8_t Icmpv6EchoReply = 129;

bool sameAddress(const uint8_t* bytes, const TIpAddress& address)
{
    return std::memcmp(bytes, address.Bytes.data(), address.Size()) == 0;
}

// The IPv6 counterpart of the decoding below, on a 40-byte header without extensions: the kernel delivers
// none to an ICMPv6 socket, and our requests carry none.
bool decodeIpv6(const uint8_t* datagram, int n, const TReplyMatch& match, TReplyStatus& status)
{
    if (n < Ipv6HeaderLength + 8)
        throw ENetIcmpException("Not enough bytes received");
    const uint8_t* icmp = datagram + Ipv6HeaderLength;
    const uint8_t type = icmp[0];
    uint16_t sequence = 0;
    if (type == Icmpv6EchoReply) {
        if (match.Destination && !sameAddress(datagram + 8, *match.Destination))
            return false;
        if (match.Identifier && readLittleEndian(icmp + 4) != *match.Identifier)
            return false;
        status.Outcome = roEchoReply;
        sequence = readLittleEndian(icmp + 6);
    } else if (type >= 1 && type <= 4) {
        // Destination unreachable, packet too big, time exceeded, parameter problem: each carries as much
        // of the offending datagram as fits, which for our request is all of it.
        const uint8_t* request = icmp + 8;
        if (Ipv6HeaderLength + 8 + Ipv6HeaderLength + 8 > n || request[6] != IPPROTO_ICMPV6
            || request[Ipv6HeaderLength] != Icmpv6EchoRequest)
            return false;
        if (match.Destination && !sameAddress(request + 24, *match.Destination))
            return false;
        if (match.Identifier && readLittleEndian(request + Ipv6HeaderLength + 4) != *match.Identifier)
            return false;
        sequence = readLittleEndian(request + Ipv6HeaderLength + 6);
        if (sequence != match.Sequence)
            return false;
        if (type == 4)
            throw ENetIcmpException("Non-echo type response received");
        status.Outcome = type == 3 ? roTtlExpired : roUnreachable;
    } else {
        // Nobody's answer. That includes our own request, which a raw socket sees when the host is one of
        // our own addresses: unlike IPv4's, it does not count, as the host may be set not to answer.
        return false;
    }
    if (sequence != match.Sequence)
        return false;
    status.ByteCount = n;
    status.SourceAddress = TSocketStack::IpAddressToText(TIpAddress::FromIpv6(datagram + 8));
    status.IcmpType = type;
    status.SequenceNumber = sequence;
    status.Ttl = datagram[7];
    return true;
}

} // namespace

bool DecodeDatagram(const uint8_t* datagram, int n, const TReplyMatch& match, TReplyStatus& status)
{
    status.Outcome = roError;
    if (match.Family == TIpFamily::IPv6)
        return decodeIpv6(datagram, n, match, status);
    const int hl = (datagram[0] & 0x0F) * 4;
    // Never shorter than a whole IPv4 header, whatever its length field says: the source address and
    // TTL are read from it.
    if (n < hl + 8 || n < 20)
        throw ENetIcmpException("Not enough bytes received");
    const uint8_t* icmp = datagram + hl;
    const uint8_t type = icmp[0];
    uint16_t sequence = 0;
    if (type == 0 || type == 8) {
        if (match.Destination && !sameAddress(datagram + 12, *match.Destination))
            return false;
        if (match.Identifier && readLittleEndian(icmp + 4) != *match.Identifier)
            return false;
        status.Outcome = roEchoReply;
        sequence = readLittleEndian(icmp + 6);
    } else if (type == 3 || type == 11 || type == 12) {
        // The message carries the header and first eight bytes of the datagram it is about. That header
        // has a length of its own: a router may add options to its message and not to our request.
        const int inner = hl + 8;
        if (inner + 20 > n)
            return false;
        const uint8_t* request = datagram + inner;
        const int innerHl = (request[0] & 0x0F) * 4;
        // Cut before the request's sequence number, or about something else than an echo request.
        if (innerHl < 20 || inner + innerHl + 8 > n || request[9] != 1 || request[innerHl] != 8)
            return false;
        if (match.Destination && !sameAddress(request + 16, *match.Destination))
            return false;
        if (match.Identifier && readLittleEndian(request + innerHl + 4) != *match.Identifier)
            return false;
        sequence = readLittleEndian(request + innerHl + 6);
        if (sequence != match.Sequence)
            return false;
        // Our request was thrown away for a fault in its header: no answer will come.
        if (type == 12)
            throw ENetIcmpException("Non-echo type response received");
        status.Outcome = type == 3 ? roUnreachable : roTtlExpired;
    } else {
        // Redirects, timestamps and the rest answer nobody's echo request; they are skipped like any
        // other foreign message.
        return false;
    }
    if (sequence != match.Sequence)
        return false;
    status.ByteCount = n;
    status.SourceAddress = TSocketStack::AddressToText(datagram + 12);
    status.IcmpType = type;
    status.SequenceNumber = sequence;
    status.Ttl = datagram[8];
    return true;
}

TIcmpClient::TIcmpClient()
    : m_identifier(static_cast<uint16_t>(::getpid()))
{
    m_receiveTimeout = 5000;
    m_protocol = 1;
}

void TIcmpClient::Ping(const std::string& data, uint16_t sequence)
{
    if (sequence != 0)
        m_nextSequence = sequence;
    BuildRequest(data);
    // The clock as the request was stamped: reading it again a moment later would say the same, and
    // each reading costs as much as a fair part of decoding an answer.
    const uint32_t t0 = m_builtAt;
    SendRequest();
    AwaitReply();
    const uint32_t elapsed = TickDiff(t0, MillisecondClock());
    // One socket per exchange: none is held between pings.
    AcquireSocket().Close();
    m_replyStatus.RoundTripMs = elapsed;
    if (OnReply)
        OnReply(*this, m_replyStatus);
    ++m_nextSequence;
}

void TIcmpClient::BuildRequest(const std::string& data)
{
    m_requestSize = RequestLength;
    uint8_t* r = m_requestBuffer.data();
    std::memset(r, 0, RequestLength);
    r[0] = 8;
    r[1] = 0;
    writeLittleEndian16(r + 4, m_identifier);
    writeLittleEndian16(r + 6, m_nextSequence);
    m_builtAt = MillisecondClock();
    for (int i = 0; i < 4; ++i)
        r[8 + i] = static_cast<uint8_t>(m_builtAt >> (8 * i));
    for (int i = 0; i < DataLength; ++i)
        r[DataOffset + i]
            = static_cast<size_t>(i) < data.size() ? static_cast<uint8_t>(data[static_cast<size_t>(i)]) : uint8_t(0x45);
    const uint16_t sum = Checksum();
    std::memcpy(r + 2, &sum, 2);
}

uint16_t TIcmpClient::Checksum() const
{
    uint32_t sum = 0;
    for (int i = 0; i < RequestLength; i += 2) {
        uint16_t word;
        std::memcpy(&word, m_requestBuffer.data() + i, 2);
        sum += word;
    }
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum);
}

void TIcmpClient::SendRequest()
{
    const TIpAddress& address = ResolveDestination(Host());
    // Only the host's address tells the family. ICMPv6 has echo types of its own, and its checksum covers
    // the IPv6 addresses, which the kernel fills in along with the sum.
    if (address.Family == TIpFamily::IPv6) {
        m_requestBuffer[0] = Icmpv6EchoRequest;
        m_requestBuffer[2] = m_requestBuffer[3] = 0;
    }
    SendPacketTo(address, Port(), m_requestBuffer.data(), m_requestSize);
}

void TIcmpClient::AwaitReply()
{
    TReplyStatus local;
    ReceiveReply(ReceiveTimeout(), local);
    m_replyStatus = local;
}

void TIcmpClient::setTimedOut(TReplyStatus& status) const
{
    status.ByteCount = 0;
    status.SourceAddress = Destination() && Destination()->Family == TIpFamily::IPv6 ? "::" : "0.0.0.0";
    status.IcmpType = 0;
    status.SequenceNumber = m_nextSequence;
    status.Ttl = 0;
    status.Outcome = roTimeOut;
    status.RoundTripUs = 0;
}

void TIcmpClient::ReceiveReply(int32_t budgetMs, TReplyStatus& status)
{
    m_replyBuffer.fill(0);
    const uint32_t start = MillisecondClock();
    const auto since = [](uint32_t then) { return static_cast<int32_t>(TickDiff(then, MillisecondClock())); };
    const auto left = [&] { return budgetMs - since(start); };
    const bool sliced = OnWait && budgetMs >= 0;
    int32_t remaining = budgetMs;
    // The hook is due a slice after it last returned, whatever arrived meanwhile: a raw socket sees every
    // ICMP message of the machine, and another program's pings must not keep the caller waiting.
    uint32_t hookedAt = start;
    // Set when the hook itself outlasted the budget (a modal box, say). The delay was ours, not the
    // network's, so what arrived meanwhile is still read, without waiting any longer.
    std::optional<uint32_t> drainingSince;
    for (;;) {
        int n = 0;
        if (!sliced) {
            n = ReadPacket(m_replyBuffer.data(), BufferLength, remaining);
        } else if (drainingSince) {
            // Bounded, so that a flood of foreign datagrams cannot hold the wait open.
            if (since(*drainingSince) <= WaitSliceMs)
                n = ReadPacket(m_replyBuffer.data(), BufferLength, 0);
        } else {
            // A whole slice is left at the start, without asking the clock.
            const int32_t untilHook
                = hookedAt == start && remaining == budgetMs ? WaitSliceMs : WaitSliceMs - since(hookedAt);
            n = ReadPacket(m_replyBuffer.data(), BufferLength, std::min(remaining, std::max(0, untilHook)));
        }
        SharedStack()->CheckSocketResult(n);
        const uint64_t readAtUs = n > 0 ? MicrosecondClock() : 0;
        // A quiet slice inside the budget is no time-out yet.
        if (n != 0 || !sliced || drainingSince || (remaining = left()) <= 0) {
            if (DecodeReply(n, status)) {
                if (n > 0)
                    status.RoundTripUs = static_cast<uint32_t>(
                        std::min<uint64_t>(readAtUs - SentAtUs(), std::numeric_limits<uint32_t>::max()));
                return;
            }
            // Someone else's datagram: keep waiting for ours within what is left of the budget.
            setTimedOut(status);
            remaining = left();
            if (remaining <= 0 && !drainingSince)
                return;
        }
        if (sliced && !drainingSince && since(hookedAt) >= WaitSliceMs) {
            OnWait();
            hookedAt = MillisecondClock();
            if ((remaining = left()) <= 0)
                drainingSince = hookedAt;
        }
    }
}

bool TIcmpClient::DecodeReply(int n, TReplyStatus& status)
{
    if (n == 0) {
        setTimedOut(status);
        return true;
    }
    TReplyMatch match;
    match.Sequence = m_nextSequence;
    match.Destination = Destination();
    if (Destination())
        match.Family = Destination()->Family;
    // A raw socket sees every echo reply of the machine; a datagram socket only its own.
    if (!SharedStack()->FiltersEchoReplies(Socket().SocketId()))
        match.Identifier = m_identifier;
    return DecodeDatagram(m_replyBuffer.data(), std::min(n, BufferLength), match, status);
}
