#include "platform/gfx/device/present_pacing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace gfx {

namespace {

constexpr int64_t kSecond = 1'000'000'000;
constexpr uint32_t kWindowedRefreshRate = 60;

class SystemRefreshClock : public RefreshClock {
public:
    int64_t Now() override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void SleepUntil(int64_t nanoseconds) override
    {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nanoseconds)));
    }
};

SystemRefreshClock systemClock;
std::atomic<RefreshClock*> activeClock{&systemClock};

uint32_t IntervalsOf(uint32_t presentationInterval)
{
    switch (presentationInterval) {
    case kPresentIntervalDefault:
    case kPresentIntervalOne: return 1;
    case 2: return 2;
    case 4: return 3;
    case 8: return 4;
    default: return 0; // immediate
    }
}

} // namespace

PresentPacer::PresentPacer(const PresentParameters& parameters)
    : intervals_(IntervalsOf(parameters.presentationInterval))
{
    const uint32_t rate =
        !parameters.windowed && parameters.fullScreenRefreshRate != 0 ? parameters.fullScreenRefreshRate : kWindowedRefreshRate;
    period_ = kSecond / rate;
    origin_ = detail::ActiveRefreshClock().Now();
}

void PresentPacer::WaitForRefresh()
{
    if (intervals_ == 0)
        return;
    RefreshClock& clock = detail::ActiveRefreshClock();
    const int64_t now = clock.Now();
    // The first refresh at or after now...
    const int64_t elapsed = std::max<int64_t>(0, now - origin_);
    int64_t refresh = (elapsed + period_ - 1) / period_;
    // ...but never sooner than the interval after the last frame's.
    if (shownAny_)
        refresh = std::max(refresh, lastRefresh_ + intervals_);
    const int64_t at = origin_ + refresh * period_;
    if (at > now)
        clock.SleepUntil(at);
    lastRefresh_ = refresh;
    shownAny_ = true;
}

namespace detail {

RefreshClock& ActiveRefreshClock()
{
    return *activeClock.load(std::memory_order_acquire);
}

void SetRefreshClock(RefreshClock* clock)
{
    activeClock.store(clock ? clock : &systemClock, std::memory_order_release);
}

} // namespace detail

} // namespace gfx
