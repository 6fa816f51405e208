#include "tests/support/machine_stall.h"

#include <algorithm>
#include <chrono>

MachineStall::MachineStall()
    : m_thread([this] {
        using Clock = std::chrono::steady_clock;
        while (!m_stop) {
            const auto before = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count() - 5;
            m_longestMs = std::max(m_longestMs.load(), static_cast<long long>(late));
        }
    })
{ }

MachineStall::~MachineStall()
{
    m_stop = true;
    m_thread.join();
}
