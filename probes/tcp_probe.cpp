#include "probes/tcp_probe.h"

#include "icmp/socket_stack_posix.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

struct TTcpProbe::TPending
{
    int Fd = -1;
    TEventLoop::THandle Watch = 0;
    TEventLoop::THandle Timer = 0;
    std::chrono::steady_clock::time_point Started;
    TDone Done;
};

namespace {

socklen_t fillAddress(const TIpAddress& address, uint16_t port, sockaddr_storage& storage)
{
    std::memset(&storage, 0, sizeof storage);
    if (address.Family == TIpFamily::IPv4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        std::memcpy(&in->sin_addr, address.Bytes.data(), 4);
        return sizeof(sockaddr_in);
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    std::memcpy(&in6->sin6_addr, address.Bytes.data(), 16);
    in6->sin6_scope_id = address.ScopeId;
    return sizeof(sockaddr_in6);
}

TConnectOutcome failure(int error)
{
    TConnectOutcome outcome;
    outcome.Kind = error == ECONNREFUSED ? TConnectOutcome::TKind::Refused : TConnectOutcome::TKind::Failed;
    outcome.ErrorNumber = SocketErrorFromErrno(error);
    return outcome;
}

} // namespace

TTcpProbe::TTcpProbe(TEventLoop& loop)
    : m_loop(loop)
{ }

TTcpProbe::~TTcpProbe()
{
    m_alive.reset();
    for (auto& [ticket, pending] : m_pending) {
        m_loop.Unwatch(pending->Watch);
        m_loop.CancelTimer(pending->Timer);
        ::close(pending->Fd);
    }
}

TTcpProbe::TTicket TTcpProbe::Connect(const TIpAddress& address, uint16_t port, int timeoutMs, TDone done)
{
    const TTicket ticket = ++m_last;
    auto pending = std::make_unique<TPending>();
    pending->Done = std::move(done);
    pending->Started = std::chrono::steady_clock::now();
    const auto answerLater = [this, ticket](TConnectOutcome outcome) {
        m_loop.Post([this, ticket, outcome, alive = std::weak_ptr<int>(m_alive)] {
            if (alive.lock())
                finish(ticket, outcome);
        });
    };
    const int family = address.Family == TIpFamily::IPv4 ? AF_INET : AF_INET6;
    pending->Fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (pending->Fd < 0) {
        const int error = errno;
        m_pending.emplace(ticket, std::move(pending));
        answerLater(failure(error));
        return ticket;
    }
    sockaddr_storage storage;
    const socklen_t length = fillAddress(address, port, storage);
    const int result = ::connect(pending->Fd, reinterpret_cast<const sockaddr*>(&storage), length);
    const int error = result == 0 ? 0 : errno;
    TPending& held = *pending;
    m_pending.emplace(ticket, std::move(pending));
    if (result == 0 || error != EINPROGRESS) {
        // Loopback may connect, or refuse, at once.
        TConnectOutcome outcome = error == 0 ? TConnectOutcome {} : failure(error);
        if (error == 0) {
            outcome.Kind = TConnectOutcome::TKind::Connected;
            outcome.RoundTripUs = static_cast<uint32_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - held.Started)
                    .count());
        }
        answerLater(outcome);
        return ticket;
    }
    held.Watch = m_loop.Watch(held.Fd, TEventLoop::TIo::Write, [this, ticket] {
        const auto found = m_pending.find(ticket);
        if (found == m_pending.end())
            return;
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(found->second->Fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            finish(ticket, failure(error));
            return;
        }
        TConnectOutcome outcome;
        outcome.Kind = TConnectOutcome::TKind::Connected;
        outcome.RoundTripUs = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                        std::chrono::steady_clock::now() - found->second->Started)
                                                        .count());
        finish(ticket, outcome);
    });
    held.Timer = m_loop.StartTimer(std::chrono::milliseconds(timeoutMs), [this, ticket] {
        TConnectOutcome outcome;
        outcome.Kind = TConnectOutcome::TKind::TimedOut;
        finish(ticket, outcome);
    });
    return ticket;
}

void TTcpProbe::Cancel(TTicket ticket)
{
    const auto found = m_pending.find(ticket);
    if (found == m_pending.end())
        return;
    std::unique_ptr<TPending> pending = std::move(found->second);
    m_pending.erase(found);
    m_loop.Unwatch(pending->Watch);
    m_loop.CancelTimer(pending->Timer);
    if (pending->Fd >= 0)
        ::close(pending->Fd);
}

void TTcpProbe::finish(TTicket ticket, const TConnectOutcome& outcome)
{
    const auto found = m_pending.find(ticket);
    if (found == m_pending.end())
        return;
    std::unique_ptr<TPending> pending = std::move(found->second);
    m_pending.erase(found);
    m_loop.Unwatch(pending->Watch);
    m_loop.CancelTimer(pending->Timer);
    // Closed at once, connection or not: a check holds nothing open on the server.
    if (pending->Fd >= 0)
        ::close(pending->Fd);
    pending->Done(outcome);
}
