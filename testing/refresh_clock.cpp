#include "testing/refresh_clock.h"

namespace platform::testing {

ScriptedRefreshClock::ScriptedRefreshClock()
{
    gfx::detail::SetRefreshClock(this);
}

ScriptedRefreshClock::~ScriptedRefreshClock()
{
    gfx::detail::SetRefreshClock(nullptr);
}

int64_t ScriptedRefreshClock::Now()
{
    std::lock_guard guard(lock_);
    return now_;
}

void ScriptedRefreshClock::SleepUntil(int64_t nanoseconds)
{
    std::lock_guard guard(lock_);
    waits_.push_back(nanoseconds);
    if (nanoseconds > now_)
        now_ = nanoseconds;
}

void ScriptedRefreshClock::Advance(int64_t nanoseconds)
{
    std::lock_guard guard(lock_);
    now_ += nanoseconds;
}

std::vector<int64_t> ScriptedRefreshClock::Waits()
{
    std::lock_guard guard(lock_);
    return waits_;
}

} // namespace platform::testing
