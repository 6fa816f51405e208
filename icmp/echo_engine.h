// Echo requests to any number of hosts at once, over one socket per address family, driven by an event
// loop: nothing here waits.
#pragma once

#include "icmp/event_loop.h"
#include "icmp/reply_status.h"
#include "icmp/socket_stack.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

struct TEchoRequest
{
    TIpAddress Address;
    uint16_t Sequence = 0;
    int TimeoutMs = 1000;
    // Filled into the request's 32 data bytes, the rest padded with 'E'.
    std::string Data;
};

struct TEchoOutcome
{
    // As the echo client fills it: the reply, an ICMP error about the request, or the time-out values.
    // RoundTripUs counts from the request leaving to the kernel's arrival stamp of its answer.
    TReplyStatus Status;
    // Set instead when the request could not be sent (no socket, no route, ...): an ENetException.
    std::exception_ptr Error;
};

class TEchoEngine final
{
public:
    using TTicket = uint64_t;
    using TDone = std::function<void(const TEchoOutcome&)>;

    explicit TEchoEngine(TEventLoop& loop);
    // Pending requests are dropped without being answered.
    ~TEchoEngine();
    TEchoEngine(const TEchoEngine&) = delete;
    TEchoEngine& operator=(const TEchoEngine&) = delete;

    // Queues one request. `done` is called exactly once, later, from the loop (never from inside Send),
    // unless the ticket is cancelled first. Requests leave paced, in the order sent; the time-out counts
    // from the moment a request leaves. Callers keep (address, sequence) unique among their pending requests;
    // where they do not, answers go to the oldest request in flight of that address and sequence.
    TTicket Send(const TEchoRequest& request, TDone done);
    // Forgets a pending request; its `done` is not called. Unknown tickets are ignored.
    void Cancel(TTicket ticket);
    size_t Pending() const;
    // The identifier our raw requests carry (datagram sockets get the kernel's).
    uint16_t Identifier() const;

private:
    class TImpl;
    std::unique_ptr<TImpl> m_impl;
};
