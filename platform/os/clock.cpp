#include "platform/os/clock.h"

#include <chrono>
#include <thread>
#include <time.h>

namespace platform::os {

namespace detail {
std::atomic<uint32_t>& MillisecondClockBias()
{
    static std::atomic<uint32_t> bias{0};
    return bias;
}
std::atomic<SleepHook>& SleepOverride()
{
    static std::atomic<SleepHook> hook{nullptr};
    return hook;
}
} // namespace detail

namespace {
const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();
}

uint32_t MillisecondClock()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms) + detail::MillisecondClockBias().load(std::memory_order_relaxed);
}

long ProcessClock()
{
    const auto elapsed = std::chrono::steady_clock::now() - processStart;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void SleepMilliseconds(uint32_t milliseconds)
{
    if (detail::SleepHook hook = detail::SleepOverride().load(std::memory_order_acquire)) {
        hook(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace platform::os
