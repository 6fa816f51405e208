// The event loop of the command-line tool and the tests: poll(2) over the watched descriptors, timers on
// the steady clock, and a wake-up descriptor for tasks posted from other threads.
#pragma once

#include "icmp/event_loop.h"

#include <queue>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

class TPollEventLoop final : public TEventLoop
{
public:
    // Raises ENetSocketError when the wake-up descriptor cannot be had (too many open files).
    TPollEventLoop();
    // Watches, timers and posted tasks still waiting are dropped without being called.
    ~TPollEventLoop() override;
    TPollEventLoop(const TPollEventLoop&) = delete;
    TPollEventLoop& operator=(const TPollEventLoop&) = delete;

    THandle Watch(int fd, TIo io, std::function<void()> ready) override;
    void Unwatch(THandle watch) override;
    THandle StartTimer(TClock::duration after, std::function<void()> fire) override;
    void CancelTimer(THandle timer) override;
    void Post(std::function<void()> task) override;

    // Runs until `done` holds, which it asks before every wait; false when Quit() ended the run first.
    bool RunUntil(const std::function<bool()>& done);
    // Runs until Quit().
    void Run();
    // From any thread: the run under way, or else the next one, returns after the pass in progress.
    void Quit();
    // From any thread, and from a signal handler (it only writes to a descriptor): the run looks at its
    // condition again.
    void WakeUp() noexcept;
    // One pass: waits up to `limit` (nothing: until something happens) for a descriptor, a timer or a
    // posted task, then calls what is due. What a callback throws comes out of here (and the run).
    void RunOnce(std::optional<TClock::duration> limit);

private:
    struct TWatch
    {
        int fd;
        TIo io;
        // Shared, so that a callback that removes its own watch runs to its end.
        std::shared_ptr<std::function<void()>> ready;
    };
    struct TTimer
    {
        TClock::time_point due;
        std::function<void()> fire;
    };
    using TDue = std::pair<TClock::time_point, THandle>;

    void runPosted();
    void fireTimers();

    int m_wakeFd = -1;
    THandle m_lastHandle = 0;
    // Ordered by handle, so watches are served in the order they were made.
    std::map<THandle, TWatch> m_watches;
    std::unordered_map<THandle, TTimer> m_timers;
    // Earliest first; a cancelled timer's entry stays until it comes up and is skipped then.
    std::priority_queue<TDue, std::vector<TDue>, std::greater<TDue>> m_timerQueue;
    std::mutex m_postLock;
    std::deque<std::function<void()>> m_posted;
    std::atomic<bool> m_quit {false};
};
