// Millisecond timing of the echo exchanges, on a clock that never jumps.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// Milliseconds of the monotonic clock, low 32 bits.
uint32_t MillisecondClock();

// Microseconds of the same clock, for round trips shorter than a millisecond.
uint64_t MicrosecondClock();

// Nanoseconds of the wall clock (CLOCK_REALTIME), the clock of the kernel's arrival stamps; under a test's
// clock, its milliseconds.
int64_t RealtimeNanoseconds();

// When a request left, on both clocks: the arrival stamp of its answer is read against the wall clock, the
// moment the answer was read against the monotonic one.
struct TDeparture
{
    uint64_t MonotonicUs = 0;
    int64_t RealtimeNs = 0;

    static TDeparture Now();
};

// Microseconds from `sent` to the answer's arrival: its kernel stamp when there is one that can be right
// (not before the departure, not after the moment it was read), otherwise `readAtUs` of MicrosecondClock().
uint32_t RoundTripUs(const TDeparture& sent, std::optional<int64_t> arrivalRealtimeNs, uint64_t readAtUs);

// Milliseconds from `oldTicks` to `newTicks`, across one wrap of the 32-bit counter.
uint32_t TickDiff(uint32_t oldTicks, uint32_t newTicks);

// Tests drive time themselves, in whole milliseconds for both clocks; an empty function goes back to the
// monotonic clock.
void SetMillisecondClockForTesting(std::function<uint32_t()> clock);
