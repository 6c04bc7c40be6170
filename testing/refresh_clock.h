#pragma once
// Test hook: while alive, Present keeps time by a clock the test moves. It
// starts at 0 ns; a wait for a refresh is noted and moves the clock there.
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/gfx/device/present_pacing.h"

namespace platform::testing {

class ScriptedRefreshClock : public gfx::RefreshClock {
public:
    ScriptedRefreshClock();
    ~ScriptedRefreshClock() override;
    ScriptedRefreshClock(const ScriptedRefreshClock&) = delete;
    ScriptedRefreshClock& operator=(const ScriptedRefreshClock&) = delete;

    int64_t Now() override;
    void SleepUntil(int64_t nanoseconds) override;

    // Time passing without a wait (a frame's own work).
    void Advance(int64_t nanoseconds);
    // The times waited until, in order.
    std::vector<int64_t> Waits();

private:
    std::mutex lock_;
    int64_t now_ = 0;
    std::vector<int64_t> waits_;
};

} // namespace platform::testing
