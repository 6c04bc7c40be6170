#pragma once
// How Present keeps time with the display. A device whose presentation
// interval asks to wait for the vertical blank shows each frame at a refresh
// of the display, at least that many refreshes after the frame before, and
// Present returns then; a frame that comes late goes to the next refresh
// rather than catching up. With no display to follow, the refreshes are kept
// by the clock: 60 a second, or the full-screen refresh rate asked for. An
// immediate interval never waits.
#include <cstdint>

#include "platform/gfx/device/present_parameters.h"

namespace gfx {

// Where the pacer reads the time and waits; tests put their own in (see
// testing/refresh_clock.h).
class RefreshClock {
public:
    virtual ~RefreshClock() = default;
    // Nanoseconds on a steady clock.
    virtual int64_t Now() = 0;
    virtual void SleepUntil(int64_t nanoseconds) = 0;
};

class PresentPacer {
public:
    explicit PresentPacer(const PresentParameters& parameters);

    // Refreshes between two frames: 0 (immediate), 1 to 4.
    uint32_t Intervals() const { return intervals_; }
    int64_t PeriodNanoseconds() const { return period_; }

    // Returns at the refresh the frame being presented is shown at.
    void WaitForRefresh();

private:
    uint32_t intervals_ = 0;
    int64_t period_ = 0;
    int64_t origin_ = 0;           // the time of refresh 0
    int64_t lastRefresh_ = -1;     // the refresh the last frame was shown at
    bool shownAny_ = false;
};

namespace detail {
RefreshClock& ActiveRefreshClock();
// Null puts the system clock back.
void SetRefreshClock(RefreshClock* clock);
} // namespace detail

} // namespace gfx
