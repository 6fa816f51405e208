#include "icmp/icmp_client.h"

#include "icmp/millisecond_clock.h"
#include "icmp/net_exceptions.h"

#include <cstring>
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

bool DecodeDatagram(const uint8_t* datagram, int n, uint16_t expectedSequence, TReplyStatus& status)
{
    status.Outcome = roError;
    const int hl = (datagram[0] & 0x0F) * 4;
    // Never shorter than a whole IPv4 header, whatever its length field says: the source address and
    // TTL are read from it.
    if (n < hl + 8 || n < 20)
        throw ENetIcmpException("Not enough bytes received");
    const uint8_t type = datagram[hl];
    int sequenceAt = 0;
    switch (type) {
    case 0:
    case 8:
        status.Outcome = roEchoReply;
        sequenceAt = hl + 6;
        break;
    case 3:
    case 11:
        status.Outcome = type == 3 ? roUnreachable : roTtlExpired;
        // The copy of the request inside the message is taken to have a header as long as the outer one.
        sequenceAt = hl + 8 + hl + 6;
        break;
    default:
        throw ENetIcmpException("Non-echo type response received");
    }
    // An error message cut before the request's sequence number cannot be ours.
    if (sequenceAt + 2 > n)
        return false;
    const uint16_t sequence = readLittleEndian(datagram + sequenceAt);
    if (sequence != expectedSequence)
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
}

void TIcmpClient::ReceiveReply(int32_t budgetMs, TReplyStatus& status)
{
    m_replyBuffer.fill(0);
    const uint32_t start = MillisecondClock();
    int32_t remaining = budgetMs;
    for (;;) {
        const int n = ReadPacket(m_replyBuffer.data(), BufferLength, remaining);
        SharedStack()->CheckSocketResult(n);
        if (DecodeReply(n, status))
            return;
        // Someone else's datagram: keep waiting for ours within what is left of the budget.
        setTimedOut(status);
        remaining = budgetMs - static_cast<int32_t>(TickDiff(start, MillisecondClock()));
        if (remaining <= 0)
            return;
    }
}

bool TIcmpClient::DecodeReply(int n, TReplyStatus& status)
{
    if (n == 0) {
        setTimedOut(status);
        return true;
    }
    return DecodeDatagram(m_replyBuffer.data(), std::min(n, BufferLength), m_nextSequence, status);
}
