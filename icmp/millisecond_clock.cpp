#include "icmp/millisecond_clock.h"

#include <ctime>

namespace {

std::function<uint32_t()>& testClock()
{
    static std::function<uint32_t()> clock;
    return clock;
}

} // namespace

uint32_t MillisecondClock()
{
    if (const auto& clock = testClock())
        return clock();
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint64_t MicrosecondClock()
{
    if (const auto& clock = testClock())
        return uint64_t(clock()) * 1000u;
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

uint32_t TickDiff(uint32_t oldTicks, uint32_t newTicks)
{
    return newTicks >= oldTicks ? newTicks - oldTicks : newTicks + (4294967295u - oldTicks);
}

void SetMillisecondClockForTesting(std::function<uint32_t()> clock)
{
    testClock() = std::move(clock);
}
