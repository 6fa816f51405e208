// TCP connects beside the event loop: each is answered when the connection stands (and is closed again at
// once), refused, or not made within its time.
#pragma once

#include "icmp/event_loop.h"
#include "icmp/socket_stack.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

struct TConnectOutcome
{
    enum class TKind : uint8_t {
        Connected,
        Refused,
        TimedOut,
        Failed, // no route, unreachable, no socket: ErrorNumber says which
    };

    TKind Kind = TKind::TimedOut;
    uint32_t RoundTripUs = 0; // from the SYN leaving to the connection standing; Connected only
    int ErrorNumber = 0; // the socket error number (TSocketStack's numbering) for Refused and Failed
};

class TTcpProbe final
{
public:
    using TTicket = uint64_t;
    using TDone = std::function<void(const TConnectOutcome&)>;

    explicit TTcpProbe(TEventLoop& loop);
    // Connects under way are dropped unanswered.
    ~TTcpProbe();
    TTcpProbe(const TTcpProbe&) = delete;
    TTcpProbe& operator=(const TTcpProbe&) = delete;

    // `done` is called exactly once, later, from the loop, unless the ticket is cancelled first.
    TTicket Connect(const TIpAddress& address, uint16_t port, int timeoutMs, TDone done);
    void Cancel(TTicket ticket);

private:
    struct TPending;

    void finish(TTicket ticket, const TConnectOutcome& outcome);

    TEventLoop& m_loop;
    TTicket m_last = 0;
    std::unordered_map<TTicket, std::unique_ptr<TPending>> m_pending;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
