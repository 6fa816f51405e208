#include "icmp/icmp_client.h"

#include "icmp/millisecond_clock.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

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
    uint32_t elapsed = TickDiff(t0, MillisecondClock());
    // An answer counts to its arrival, not to the moment it was read: the lookup and the socket's opening
    // before the departure, then the round trip.
    if (m_replyStatus.Outcome != roTimeOut)
        elapsed
            = TickDiff(t0, static_cast<uint32_t>(Departure().MonotonicUs / 1000)) + m_replyStatus.RoundTripUs / 1000;
    // One socket per exchange: none is held between pings.
    AcquireSocket().Close();
    m_replyStatus.RoundTripMs = elapsed;
    if (OnReply)
        OnReply(*this, m_replyStatus);
    ++m_nextSequence;
}

void TIcmpClient::BuildRequest(const std::string& data)
{
    m_requestSize = EchoRequestLength;
    m_builtAt = MillisecondClock();
    BuildEchoRequest(m_requestBuffer.data(), m_identifier, m_nextSequence, m_builtAt, data);
}

void TIcmpClient::SendRequest()
{
    const TIpAddress& address = ResolveDestination(Host());
    // Only the host's address tells the family.
    if (address.Family == TIpFamily::IPv6)
        MakeIcmpv6Request(m_requestBuffer.data());
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
        // A quiet slice inside the budget is no time-out yet.
        if (n != 0 || !sliced || drainingSince || (remaining = left()) <= 0) {
            if (DecodeReply(n, status)) {
                if (n > 0)
                    status.RoundTripUs = RoundTripUs(Departure(), LastArrival(), MicrosecondClock());
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
    // A raw socket sees every echo reply of the machine, unchecked; a datagram socket only its own.
    if (!SharedStack()->FiltersEchoReplies(Socket().SocketId())) {
        match.Identifier = m_identifier;
        match.CheckSum = match.Family == TIpFamily::IPv4;
    }
    return DecodeDatagram(m_replyBuffer.data(), std::min(n, BufferLength), match, status);
}
