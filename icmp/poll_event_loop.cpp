#include "icmp/poll_event_loop.h"

#include "icmp/socket_stack_posix.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

TPollEventLoop::TPollEventLoop()
    : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wakeFd < 0)
        TSocketStackPosix().ThrowSocketError(SocketErrorFromErrno(errno));
}

TPollEventLoop::~TPollEventLoop()
{
    ::close(m_wakeFd);
}

TEventLoop::THandle TPollEventLoop::Watch(int fd, TIo io, std::function<void()> ready)
{
    const THandle handle = ++m_lastHandle;
    m_watches.emplace(handle, TWatch {fd, io, std::make_shared<std::function<void()>>(std::move(ready))});
    return handle;
}

void TPollEventLoop::Unwatch(THandle watch)
{
    m_watches.erase(watch);
}

TEventLoop::THandle TPollEventLoop::StartTimer(TClock::duration after, std::function<void()> fire)
{
    const THandle handle = ++m_lastHandle;
    const TClock::time_point due = TClock::now() + after;
    m_timers.emplace(handle, TTimer {due, std::move(fire)});
    m_timerQueue.emplace(due, handle);
    return handle;
}

void TPollEventLoop::CancelTimer(THandle timer)
{
    m_timers.erase(timer);
}

void TPollEventLoop::Post(std::function<void()> task)
{
    {
        std::lock_guard guard(m_postLock);
        m_posted.push_back(std::move(task));
    }
    WakeUp();
}

void TPollEventLoop::WakeUp() noexcept
{
    const int saved = errno;
    const uint64_t one = 1;
    // Only fails when the counter is full, which wakes the loop as well.
    if (::write(m_wakeFd, &one, sizeof one) < 0) { }
    errno = saved;
}

void TPollEventLoop::Quit()
{
    m_quit = true;
    WakeUp();
}

bool TPollEventLoop::RunUntil(const std::function<bool()>& done)
{
    while (!done()) {
        if (m_quit.exchange(false))
            return false;
        RunOnce(std::nullopt);
    }
    return true;
}

void TPollEventLoop::Run()
{
    RunUntil([] { return false; });
}

void TPollEventLoop::RunOnce(std::optional<TClock::duration> limit)
{
    runPosted();
    // Cancelled timers at the front would only shorten the wait for nothing.
    while (!m_timerQueue.empty() && !m_timers.contains(m_timerQueue.top().second))
        m_timerQueue.pop();
    {
        std::lock_guard guard(m_postLock);
        if (!m_posted.empty())
            limit = TClock::duration::zero();
    }
    if (!m_timerQueue.empty()) {
        const TClock::duration untilTimer
            = std::max(TClock::duration::zero(), m_timerQueue.top().first - TClock::now());
        limit = limit ? std::min(*limit, untilTimer) : untilTimer;
    }

    std::vector<pollfd> fds;
    std::vector<THandle> handles;
    fds.reserve(m_watches.size() + 1);
    handles.reserve(m_watches.size());
    fds.push_back({m_wakeFd, POLLIN, 0});
    for (const auto& [handle, watch] : m_watches) {
        fds.push_back({watch.fd, static_cast<short>(watch.io == TIo::Read ? POLLIN : POLLOUT), 0});
        handles.push_back(handle);
    }
    // ppoll for its nanoseconds: a timer is not put off to the next whole millisecond.
    timespec wait {};
    if (limit) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*limit).count();
        wait.tv_sec = static_cast<time_t>(ns / 1000000000);
        wait.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    const int ready = ::ppoll(fds.data(), fds.size(), limit ? &wait : nullptr, nullptr);
    if (ready > 0) {
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            if (::read(m_wakeFd, &count, sizeof count) < 0) { }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            // An error or hang-up is for the watcher to find out by reading or writing.
            if (fds[i].revents == 0)
                continue;
            // Removed by an earlier callback of this pass: not called any more.
            const auto found = m_watches.find(handles[i - 1]);
            if (found == m_watches.end())
                continue;
            const std::shared_ptr<std::function<void()>> callback = found->second.ready;
            (*callback)();
        }
    }
    fireTimers();
    runPosted();
}

void TPollEventLoop::fireTimers()
{
    const TClock::time_point now = TClock::now();
    // Only those due now: a timer started by one of them for "now" waits for the next pass, so that timers
    // cannot keep the descriptors from being looked at.
    std::vector<THandle> due;
    while (!m_timerQueue.empty() && m_timerQueue.top().first <= now) {
        due.push_back(m_timerQueue.top().second);
        m_timerQueue.pop();
    }
    for (size_t i = 0; i < due.size(); ++i) {
        const auto found = m_timers.find(due[i]);
        if (found == m_timers.end())
            continue;
        const std::function<void()> fire = std::move(found->second.fire);
        m_timers.erase(found);
        try {
            fire();
        } catch (...) {
            // What a timer throws ends the run; the other timers that were due stay due.
            for (size_t j = i + 1; j < due.size(); ++j)
                if (const auto rest = m_timers.find(due[j]); rest != m_timers.end())
                    m_timerQueue.emplace(rest->second.due, due[j]);
            throw;
        }
    }
}

void TPollEventLoop::runPosted()
{
    // Those posted before the pass began: a task that posts itself again waits for the next pass. One at a
    // time, so that the rest stay posted when one throws.
    size_t count = 0;
    {
        std::lock_guard guard(m_postLock);
        count = m_posted.size();
    }
    for (; count > 0; --count) {
        std::function<void()> task;
        {
            std::lock_guard guard(m_postLock);
            task = std::move(m_posted.front());
            m_posted.pop_front();
        }
        task();
    }
}
