// Millisecond timing of the echo exchanges, on a clock that never jumps.
#pragma once

#include <cstdint>
#include <functional>

// Milliseconds of the monotonic clock, low 32 bits.
uint32_t MillisecondClock();

// Microseconds of the same clock, for round trips shorter than a millisecond.
uint64_t MicrosecondClock();

// Milliseconds from `oldTicks` to `newTicks`, across one wrap of the 32-bit counter.
uint32_t TickDiff(uint32_t oldTicks, uint32_t newTicks);

// Tests drive time themselves, in whole milliseconds for both clocks; an empty function goes back to the
// monotonic clock.
void SetMillisecondClockForTesting(std::function<uint32_t()> clock);
