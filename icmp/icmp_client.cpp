#include "icmp/icmp_client.h"

#include "icmp/millisecond_clock.h"
#include "icmp/net_exceptions.h"

#include <algorithm>
#include <cstring>
#include <limits>
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

} // namespace

bool DecodeDatagram(const uint8_t* datagram, int n, const TReplyMatch& match, TReplyStatus& status)
{
    status.Outcome = roError;
    const int hl = (datagram[0] & 0x0F) * 4;
    // Never shorter than a whole IPv4 header, whatever its length field says: the source address and
    // TTL are read from it.
    if (n < hl + 8 || n < 20)
        throw ENetIcmpException("Not enough bytes received");
    const uint8_t* icmp = datagram + hl;
    const uint8_t type = icmp[0];
    uint16_t sequence = 0;
    if (type == 0 || type == 8) {
        if (match.Destination && std::memcmp(datagram + 12, match.Destination->data(), 4) != 0)
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
        if (match.Destination && std::memcmp(request + 16, match.Destination->data(), 4) != 0)
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
    const uint32_t t0 = MillisecondClock();
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
    const uint32_t stamp = MillisecondClock();
    for (int i = 0; i < 4; ++i)
        r[8 + i] = static_cast<uint8_t>(stamp >> (8 * i));
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
    SendPacket(Host(), Port(), m_requestBuffer.data(), m_requestSize);
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
    status.SourceAddress = "0.0.0.0";
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
            n = ReadPacket(m_replyBuffer.data(), BufferLength,
                           std::min(remaining, std::max(0, WaitSliceMs - since(hookedAt))));
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
    // A raw socket sees every echo reply of the machine; a datagram socket only its own.
    if (!SharedStack()->FiltersEchoReplies(Socket().SocketId()))
        match.Identifier = m_identifier;
    return DecodeDatagram(m_replyBuffer.data(), std::min(n, BufferLength), match, status);
}
