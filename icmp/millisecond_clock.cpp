#include "icmp/millisecond_clock.h"

#include <algorithm>
#include <ctime>
#include <limits>

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

int64_t RealtimeNanoseconds()
{
    if (const auto& clock = testClock())
        return int64_t(clock()) * 1000000;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

TDeparture TDeparture::Now()
{
    return {MicrosecondClock(), RealtimeNanoseconds()};
}

uint32_t RoundTripUs(const TDeparture& sent, std::optional<int64_t> arrivalRealtimeNs, uint64_t readAtUs)
{
    const uint64_t readUs = readAtUs > sent.MonotonicUs ? readAtUs - sent.MonotonicUs : 0;
    uint64_t us = readUs;
    if (arrivalRealtimeNs) {
        // The wall clock may have been set between the two readings; a stamp outside the time the answer
        // can have arrived in says so, and the reading time is the better figure then. Some leeway for
        // the readings' rounding and for a wall clock being slewed.
        const int64_t stampUs = (*arrivalRealtimeNs - sent.RealtimeNs) / 1000;
        if (stampUs >= 0 && static_cast<uint64_t>(stampUs) <= readUs + 2 + readUs / 1000)
            us = static_cast<uint64_t>(stampUs);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(us, std::numeric_limits<uint32_t>::max()));
}

uint32_t TickDiff(uint32_t oldTicks, uint32_t newTicks)
{
    return newTicks >= oldTicks ? newTicks - oldTicks : newTicks + (4294967295u - oldTicks);
}

void SetMillisecondClockForTesting(std::function<uint32_t()> clock)
{
    testClock() = std::move(clock);
}
