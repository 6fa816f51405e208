// Name lookups beside the event loop: a bounded number at once, each answered on the loop's thread.
#pragma once

#include "icmp/event_loop.h"
#include "icmp/socket_stack.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct TResolved
{
    // The address, as TSocketStack::ResolveToIpAddress picks it; nothing when Error is set.
    std::optional<TIpAddress> Address;
    // ENetSocketError with the resolver's number ("Socket Error # 11001\r\nHost not found."), or the
    // literal's error for a family that does not fit.
    std::exception_ptr Error;
};

class TNameResolver final
{
public:
    using TTicket = uint64_t;
    using TDone = std::function<void(const TResolved&)>;

    // At most `parallel` lookups run at once; the rest wait their turn.
    explicit TNameResolver(TEventLoop& loop, int parallel = 16);
    // Lookups under way are let go of: their threads finish on their own, nobody is called.
    ~TNameResolver();
    TNameResolver(const TNameResolver&) = delete;
    TNameResolver& operator=(const TNameResolver&) = delete;

    // "localhost" and address literals are answered without a lookup, but still later, from the loop.
    // `done` is called exactly once, never from inside Resolve, unless the ticket is cancelled first.
    TTicket Resolve(const std::string& host, std::optional<TIpFamily> family, TDone done);
    void Cancel(TTicket ticket);

    // How long a lookup may take before it is answered with error 11002 (no answer from a name server) and
    // its turn goes to the next one; 10 seconds unless set. Its thread is let go of then, as above.
    void SetLookUpBound(TEventLoop::TClock::duration bound);
    static constexpr std::chrono::seconds DefaultLookUpBound {10};

private:
    class TImpl;
    std::unique_ptr<TImpl> m_impl;
};
