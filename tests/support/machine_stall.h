// How late a plain thread wakes from short sleeps while a test runs: a virtual machine or a busy host
// stalls every thread of the process at once, and a responsiveness bound must not blame the program for it.
#pragma once

#include <atomic>
#include <thread>

class MachineStall final
{
public:
    MachineStall();
    ~MachineStall();
    MachineStall(const MachineStall&) = delete;
    MachineStall& operator=(const MachineStall&) = delete;

    // The longest a 5 ms sleep has overslept so far, in milliseconds.
    long long LongestMs() const { return m_longestMs.load(); }

private:
    std::atomic<bool> m_stop {false};
    std::atomic<long long> m_longestMs {0};
    std::thread m_thread;
};
