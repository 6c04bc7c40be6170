#pragma once
// Clocks: the system millisecond counter (wraps every 2^32 ms), the process
// clock with 1000 ticks per second, and sleeping.
#include <atomic>
#include <cstdint>

namespace platform::os {

// Milliseconds since the system started, in 32-bit wrap-around arithmetic.
uint32_t MillisecondClock();

// Wall-clock milliseconds since the process started (the C runtime's clock()
// as the system reads it: kClockTicksPerSecond ticks per second).
inline constexpr long kClockTicksPerSecond = 1000;
long ProcessClock();

void SleepMilliseconds(uint32_t milliseconds);

namespace detail {
// Added to MillisecondClock (tests move the clock towards its wrap).
std::atomic<uint32_t>& MillisecondClockBias();
// When set, SleepMilliseconds hands its request to it instead of sleeping
// (tests see what was asked for without waiting).
using SleepHook = void (*)(uint32_t milliseconds);
std::atomic<SleepHook>& SleepOverride();
} // namespace detail

} // namespace platform::os
