// What the echo engine, the name lookups and the checks need of an event loop: descriptors to watch,
// one-shot timers, and tasks handed over from other threads. The gadget runs them on Qt's loop, the
// command-line tool on a poll() loop of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

class TEventLoop
{
public:
    using TClock = std::chrono::steady_clock;
    // Names a watch or a timer; 0 names none.
    using THandle = uint64_t;
    enum class TIo : uint8_t { Read, Write };

    virtual ~TEventLoop() = default;

    // Calls `ready` each time `fd` is ready for `io`, until the watch is removed. A callback may remove
    // any watch or timer, its own included, and add new ones.
    virtual THandle Watch(int fd, TIo io, std::function<void()> ready) = 0;
    virtual void Unwatch(THandle watch) = 0;
    // Calls `fire` once, `after` from now, unless the timer is cancelled first.
    virtual THandle StartTimer(TClock::duration after, std::function<void()> fire) = 0;
    virtual void CancelTimer(THandle timer) = 0;
    // From any thread: runs `task` on the loop's thread soon, in the order posted.
    virtual void Post(std::function<void()> task) = 0;
};
