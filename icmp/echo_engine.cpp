#include "icmp/echo_engine.h"

#include "icmp/echo_message.h"
#include "icmp/millisecond_clock.h"
#include "icmp/net_component.h"
#include "icmp/net_exceptions.h"
#include "icmp/socket_handle.h"

#include <queue>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// Requests leave at once up to the burst, then one per pace (those of a millisecond together): thousands of
// hosts neither flood the link nor bring more answers at once than the receive buffer holds.
constexpr double BurstRequests = 16;
constexpr uint64_t PaceUs = 250;
// What one unread answer may cost the receive buffer (the kernel counts the buffers, not the bytes), and
// the most the buffer is asked to hold; on loopback a raw socket also receives each request it sent.
constexpr int BufferPerRequest = 2048;
constexpr int MaximumReceiveBuffer = 8 << 20;
// What a socket gets without asking (net.core.rmem_default).
constexpr int DefaultReceiveBuffer = 208 << 10;
// Datagrams read at one readiness: a flood of foreign ones must not keep the loop from its timers.
constexpr int ReadsPerWakeUp = 64;
// Read before the time-outs are told: what arrived in time while the loop was busy elsewhere.
constexpr int ReadsBeforeTimeOut = 4096;
constexpr int SendTtl = 128;

size_t indexOf(TIpFamily family)
{
    return family == TIpFamily::IPv6 ? 1 : 0;
}

// What identifies a request to its answers: the host pinged and the sequence number.
struct TKey
{
    TIpFamily Family;
    std::array<uint8_t, 16> Bytes;
    uint16_t Sequence;
    bool operator==(const TKey&) const = default;
};

struct TKeyHash
{
    size_t operator()(const TKey& key) const noexcept
    {
        uint64_t a = 0, b = 0;
        std::memcpy(&a, key.Bytes.data(), 8);
        std::memcpy(&b, key.Bytes.data() + 8, 8);
        return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b ^ (uint64_t(key.Sequence) << 48)
                                     ^ uint64_t(key.Family));
    }
};

TKey keyOf(TIpFamily family, const TIpAddress& address, uint16_t sequence)
{
    TKey key {family, {}, sequence};
    std::copy(address.Bytes.begin(), address.Bytes.begin() + static_cast<long>(address.Size()), key.Bytes.begin());
    return key;
}

// Timers in whole milliseconds, rounded up: on a loop that keeps time in milliseconds (Qt's) a shorter
// wait would come back early, find nothing due, and go round again and again until it is.
std::chrono::milliseconds wholeMilliseconds(uint64_t us)
{
    return std::chrono::milliseconds(static_cast<int64_t>((us + 999) / 1000));
}

} // namespace

class TEchoEngine::TImpl
{
public:
    explicit TImpl(TEventLoop& loop)
        : m_loop(loop)
        , m_identifier(static_cast<uint16_t>(::getpid()))
        , m_tokens(BurstRequests)
        , m_tokensAtUs(MicrosecondClock())
    { }

    ~TImpl()
    {
        *m_alive = false;
        for (const TEventLoop::THandle timer : {m_pumpTimer, m_timeoutTimer, m_deliveryTimer})
            if (timer)
                m_loop.CancelTimer(timer);
        for (TFamily& family : m_families)
            closeSocket(family);
    }

    TTicket send(const TEchoRequest& request, TDone done)
    {
        const TTicket ticket = ++m_lastTicket;
        TEntry& entry = m_entries[ticket];
        entry.Request = request;
        entry.Done = std::move(done);
        const TIpFamily family = request.Address.Family;
        m_byKey.emplace(keyOf(family, request.Address, request.Sequence), ticket);
        ++m_families[indexOf(family)].Live;
        m_queue.push_back(ticket);
        schedulePump();
        return ticket;
    }

    void cancel(TTicket ticket)
    {
        const auto found = m_entries.find(ticket);
        if (found == m_entries.end())
            return;
        // Queued tickets, time-outs and deliveries that name it are skipped when they come up.
        const TEntry::TState state = found->second.State;
        const TIpFamily family = found->second.Request.Address.Family;
        forgetKey(ticket, found->second);
        m_entries.erase(found);
        if (state == TEntry::Sent)
            --m_families[indexOf(family)].Sent;
        if (state != TEntry::Finished)
            releaseFamily(family);
        closeIdle();
    }

    size_t pending() const { return m_entries.size(); }
    uint16_t identifier() const { return m_identifier; }

private:
    struct TEntry
    {
        enum TState : uint8_t { Queued, Sent, Finished };
        TEchoRequest Request;
        TDone Done;
        TState State = Queued;
        TDeparture Departure;
        uint64_t DeadlineUs = 0;
        TEchoOutcome Outcome;
    };

    struct TFamily
    {
        TSocketHandle Socket;
        TEventLoop::THandle Watch = 0;
        // The platform sorts echo replies by its own identifier (an ICMP datagram socket).
        bool Filtered = false;
        int ReceiveBuffer = 0; // what was asked for; 0 for the platform's own size
        size_t Live = 0; // requests queued or sent, not yet finished
        size_t Sent = 0; // sent, waiting for their answer
    };

    using TDeadline = std::pair<uint64_t, TTicket>;

    void schedulePump()
    {
        if (m_pumpTimer || m_queue.empty())
            return;
        refill(MicrosecondClock());
        const uint64_t waitUs
            = m_tokens >= 1 || inFlight() == 0 ? 0 : static_cast<uint64_t>((1 - m_tokens) * PaceUs) + 1;
        m_pumpTimer = m_loop.StartTimer(wholeMilliseconds(waitUs), [this] {
            m_pumpTimer = 0;
            pump();
            deliver();
        });
    }

    size_t inFlight() const { return m_families[0].Sent + m_families[1].Sent; }

    void refill(uint64_t nowUs)
    {
        if (nowUs > m_tokensAtUs)
            m_tokens = std::min(BurstRequests, m_tokens + double(nowUs - m_tokensAtUs) / PaceUs);
        m_tokensAtUs = nowUs;
    }

    void pump()
    {
        refill(MicrosecondClock());
        while (!m_queue.empty()) {
            // With nothing in flight one more request can overrun nothing, so a host pinged back to back
            // is not held to the pace of thousands.
            const bool paced = m_tokens >= 1;
            if (!paced && inFlight() > 0)
                break;
            const TTicket ticket = m_queue.front();
            m_queue.pop_front();
            const auto found = m_entries.find(ticket);
            if (found != m_entries.end() && found->second.State == TEntry::Queued && transmit(ticket, found->second)
                && paced)
                m_tokens -= 1;
        }
        schedulePump();
        armTimeout();
    }

    // Sends one request; false when it did not reach the socket (which then costs no turn of the pace).
    bool transmit(TTicket ticket, TEntry& entry)
    {
        const TIpAddress& address = entry.Request.Address;
        TFamily& family = m_families[indexOf(address.Family)];
        try {
            openSocket(family, address.Family);
        } catch (const ENetException&) {
            finish(ticket, entry, TEchoOutcome {{}, std::current_exception()});
            return false;
        }
        growReceiveBuffer(family);
        uint8_t request[EchoRequestLength];
        BuildEchoRequest(request, m_identifier, entry.Request.Sequence, MillisecondClock(), entry.Request.Data);
        if (address.Family == TIpFamily::IPv6)
            MakeIcmpv6Request(request);
        entry.Departure = TDeparture::Now();
        try {
            family.Socket.SendDatagram(address, 0, request, EchoRequestLength);
        } catch (const ENetException&) {
            finish(ticket, entry, TEchoOutcome {{}, std::current_exception()});
            return true;
        }
        entry.State = TEntry::Sent;
        ++family.Sent;
        entry.DeadlineUs = entry.Departure.MonotonicUs + uint64_t(std::max(0, entry.Request.TimeoutMs)) * 1000u;
        m_deadlines.emplace(entry.DeadlineUs, ticket);
        return true;
    }

    void openSocket(TFamily& family, TIpFamily ipFamily)
    {
        if (family.Socket.IsOpen())
            return;
        const bool ipv6 = ipFamily == TIpFamily::IPv6;
        // Raw first, then the ICMP datagram socket: the platform's stack makes that choice (see
        // TSocketStackPosix::CreateSocket).
        family.Socket.Open(SOCK_RAW, ipv6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP), ipFamily);
        try {
            const int32_t ttl = SendTtl;
            if (ipv6)
                family.Socket.SetOption(IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
            else
                family.Socket.SetOption(IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
        } catch (...) {
            family.Socket.Close();
            throw;
        }
        const TSocketId id = family.Socket.SocketId();
        family.Filtered = SharedStack()->FiltersEchoReplies(id);
        family.ReceiveBuffer = 0;
        const size_t index = static_cast<size_t>(&family - m_families.data());
        family.Watch = m_loop.Watch(id, TEventLoop::TIo::Read, [this, index] {
            readAll(index, ReadsPerWakeUp);
            deliver();
        });
    }

    void closeSocket(TFamily& family)
    {
        if (family.Watch)
            m_loop.Unwatch(family.Watch);
        family.Watch = 0;
        family.Socket.Close();
    }

    // Room for the answers of every request in flight, should they all arrive before the loop reads one.
    void growReceiveBuffer(TFamily& family)
    {
        const int64_t wanted = int64_t(family.Sent + 1) * BufferPerRequest;
        const int64_t held = std::max(family.ReceiveBuffer, DefaultReceiveBuffer);
        if (wanted <= held || held >= MaximumReceiveBuffer)
            return;
        // Doubled, so that a round of thousands costs a handful of calls.
        const int size = static_cast<int>(std::min<int64_t>(MaximumReceiveBuffer, std::max(wanted, 2 * held)));
        TSocketStack& stack = *SharedStack();
        // Past the system's limit only with the right to set it (root); the ordinary call is held to it.
        if (stack.SetSocketOption(family.Socket.SocketId(), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            stack.SetSocketOption(family.Socket.SocketId(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        family.ReceiveBuffer = size;
    }

    void readAll(size_t index, int limit)
    {
        TFamily& family = m_families[index];
        const TIpFamily ipFamily = index == 1 ? TIpFamily::IPv6 : TIpFamily::IPv4;
        TSocketStack& stack = *SharedStack();
        for (int i = 0; i < limit && family.Socket.IsOpen(); ++i) {
            std::optional<int64_t> arrivalNs;
            const int n
                = stack.ReceiveStamped(family.Socket.SocketId(), m_buffer.data(), int(m_buffer.size()), arrivalNs);
            // Nothing more waiting, or a failure the next readiness tells again.
            if (n <= 0)
                return;
            take(ipFamily, family.Filtered, n, arrivalNs);
        }
    }

    void take(TIpFamily ipFamily, bool filtered, int n, const std::optional<int64_t>& arrivalNs)
    {
        const bool raw = !filtered;
        const TEchoMessage message = ReadEchoMessage(m_buffer.data(), n, ipFamily, raw && ipFamily == TIpFamily::IPv4);
        if (message.Kind == TEchoMessage::Foreign)
            return;
        // The index finds the candidates; what answers a request is the echo client's rule. Of several, the
        // oldest in flight: a host listed twice gets its answers in order. One that has not left yet is not
        // answered, whatever comes.
        TTicket ticket = 0;
        const auto [first, last] = m_byKey.equal_range(keyOf(ipFamily, message.Peer, message.Sequence));
        for (auto key = first; key != last; ++key) {
            const TEntry& candidate = m_entries.at(key->second);
            TReplyMatch match;
            match.Sequence = candidate.Request.Sequence;
            match.Destination = candidate.Request.Address;
            match.Family = ipFamily;
            // A datagram socket's identifier is the platform's.
            if (raw)
                match.Identifier = m_identifier;
            if ((!ticket || key->second < ticket) && candidate.State == TEntry::Sent && match.Accepts(message))
                ticket = key->second;
        }
        if (!ticket)
            return;
        TEntry& entry = m_entries.at(ticket);
        const uint32_t roundTripUs = RoundTripUs(entry.Departure, arrivalNs, MicrosecondClock());
        // Arrived after its time-out, which a busy loop had not got round to: it counts as none.
        if (entry.Request.TimeoutMs > 0 && roundTripUs > uint64_t(entry.Request.TimeoutMs) * 1000u)
            return timeOut(ticket, entry);
        TEchoOutcome outcome;
        if (message.Kind == TEchoMessage::Problem) {
            // Our request was thrown away for a fault in its header: no answer will come.
            outcome.Error = std::make_exception_ptr(ENetIcmpException("Non-echo type response received"));
        } else {
            outcome.Status = message.Status;
            outcome.Status.RoundTripUs = roundTripUs;
            outcome.Status.RoundTripMs = roundTripUs / 1000;
        }
        finish(ticket, entry, std::move(outcome));
    }

    void armTimeout()
    {
        while (!m_deadlines.empty() && !isSentWith(m_deadlines.top()))
            m_deadlines.pop();
        if (m_deadlines.empty()) {
            if (m_timeoutTimer)
                m_loop.CancelTimer(m_timeoutTimer);
            m_timeoutTimer = 0;
            return;
        }
        const uint64_t due = m_deadlines.top().first;
        if (m_timeoutTimer && m_timeoutDueUs <= due)
            return;
        if (m_timeoutTimer)
            m_loop.CancelTimer(m_timeoutTimer);
        const uint64_t nowUs = MicrosecondClock();
        m_timeoutDueUs = due;
        m_timeoutTimer = m_loop.StartTimer(wholeMilliseconds(due > nowUs ? due - nowUs : 0), [this] {
            m_timeoutTimer = 0;
            expire();
            deliver();
        });
    }

    bool isSentWith(const TDeadline& deadline) const
    {
        const auto found = m_entries.find(deadline.second);
        return found != m_entries.end() && found->second.State == TEntry::Sent
            && found->second.DeadlineUs == deadline.first;
    }

    void expire()
    {
        // What arrived before the time-out and still waits to be read is an answer: the loop may have been
        // busy.
        for (size_t index = 0; index < m_families.size(); ++index)
            readAll(index, ReadsBeforeTimeOut);
        const uint64_t nowUs = MicrosecondClock();
        while (!m_deadlines.empty() && m_deadlines.top().first <= nowUs) {
            const TDeadline deadline = m_deadlines.top();
            m_deadlines.pop();
            if (isSentWith(deadline))
                timeOut(deadline.second, m_entries.at(deadline.second));
        }
        armTimeout();
    }

    void timeOut(TTicket ticket, TEntry& entry)
    {
        const uint64_t nowUs = MicrosecondClock();
        TEchoOutcome outcome;
        TReplyStatus& status = outcome.Status;
        status.SourceAddress = entry.Request.Address.Family == TIpFamily::IPv6 ? "::" : "0.0.0.0";
        status.SequenceNumber = entry.Request.Sequence;
        status.Outcome = roTimeOut;
        status.RoundTripMs = static_cast<uint32_t>((nowUs - std::min(nowUs, entry.Departure.MonotonicUs)) / 1000);
        finish(ticket, entry, std::move(outcome));
    }

    // Done with the request; its `done` is called from deliver(), once everything else is in order.
    void finish(TTicket ticket, TEntry& entry, TEchoOutcome outcome)
    {
        if (entry.State == TEntry::Sent)
            --m_families[indexOf(entry.Request.Address.Family)].Sent;
        entry.State = TEntry::Finished;
        entry.Outcome = std::move(outcome);
        forgetKey(ticket, entry);
        m_finished.push_back(ticket);
        releaseFamily(entry.Request.Address.Family);
    }

    void forgetKey(TTicket ticket, const TEntry& entry)
    {
        const auto [first, last]
            = m_byKey.equal_range(keyOf(entry.Request.Address.Family, entry.Request.Address, entry.Request.Sequence));
        for (auto key = first; key != last; ++key)
            if (key->second == ticket)
                return void(m_byKey.erase(key));
    }

    void releaseFamily(TIpFamily ipFamily) { --m_families[indexOf(ipFamily)].Live; }

    // No socket is held while its family has nothing under way. Only once the callbacks are told, so that
    // a caller who sends the next request from one keeps the socket.
    void closeIdle()
    {
        for (TFamily& family : m_families)
            if (family.Live == 0 && family.Socket.IsOpen())
                closeSocket(family);
    }

    // Tells the finished requests, then closes what is idle; nothing once a callback ended the engine.
    void deliver()
    {
        const std::shared_ptr<bool> alive = m_alive;
        while (!m_finished.empty()) {
            const TTicket ticket = m_finished.front();
            m_finished.pop_front();
            const auto found = m_entries.find(ticket);
            if (found == m_entries.end())
                continue;
            const TDone done = std::move(found->second.Done);
            const TEchoOutcome outcome = std::move(found->second.Outcome);
            m_entries.erase(found);
            try {
                if (done)
                    done(outcome);
            } catch (...) {
                // The others are still told, and what is idle closed, on the next pass.
                if (*alive && !m_deliveryTimer)
                    m_deliveryTimer = m_loop.StartTimer({}, [this] {
                        m_deliveryTimer = 0;
                        deliver();
                    });
                throw;
            }
            // A `done` may end the engine itself.
            if (!*alive)
                return;
        }
        closeIdle();
    }

    TEventLoop& m_loop;
    TNetComponent m_stackUser; // keeps the shared stack for the sockets, so it goes last
    uint16_t m_identifier;
    std::array<TFamily, 2> m_families;
    TTicket m_lastTicket = 0;
    std::unordered_map<TTicket, TEntry> m_entries;
    std::unordered_multimap<TKey, TTicket, TKeyHash> m_byKey;
    std::deque<TTicket> m_queue; // waiting to leave, in the order sent
    std::priority_queue<TDeadline, std::vector<TDeadline>, std::greater<TDeadline>> m_deadlines;
    std::deque<TTicket> m_finished; // waiting for their `done`
    double m_tokens;
    uint64_t m_tokensAtUs;
    TEventLoop::THandle m_pumpTimer = 0;
    TEventLoop::THandle m_timeoutTimer = 0;
    uint64_t m_timeoutDueUs = 0;
    TEventLoop::THandle m_deliveryTimer = 0;
    std::array<uint8_t, 4096> m_buffer {};
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

TEchoEngine::TEchoEngine(TEventLoop& loop)
    : m_impl(std::make_unique<TImpl>(loop))
{ }

TEchoEngine::~TEchoEngine() = default;

TEchoEngine::TTicket TEchoEngine::Send(const TEchoRequest& request, TDone done)
{
    return m_impl->send(request, std::move(done));
}

void TEchoEngine::Cancel(TTicket ticket)
{
    m_impl->cancel(ticket);
}

size_t TEchoEngine::Pending() const
{
    return m_impl->pending();
}

uint16_t TEchoEngine::Identifier() const
{
    return m_impl->identifier();
}
