#include "platform/window/timers.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace platform {

namespace {

struct Timer {
    Window* window;
    uintptr_t id;
    int64_t interval;
    int64_t due;
};

struct ThreadTimers {
    std::vector<Timer> timers;
    bool virtualClock = false;
    int64_t virtualNow = 0;
};

thread_local ThreadTimers threadTimers;

int64_t Now()
{
    if (threadTimers.virtualClock)
        return threadTimers.virtualNow;
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void DropGoneWindows()
{
    auto& timers = threadTimers.timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [](const Timer& t) { return !IsWindow(t.window); }),
                 timers.end());
}

} // namespace

bool SetTimer(Window* window, uintptr_t id, uint32_t milliseconds)
{
    if (!IsWindow(window))
        return false;
    KillTimer(window, id);
    const int64_t interval = std::max<int64_t>(milliseconds, 1);
    threadTimers.timers.push_back({window, id, interval, Now() + interval});
    return true;
}

bool KillTimer(Window* window, uintptr_t id)
{
    auto& timers = threadTimers.timers;
    auto found = std::find_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.window == window && t.id == id; });
    if (found == timers.end())
        return false;
    timers.erase(found);
    return true;
}

namespace detail {

bool TakeDueTimer(Message& message)
{
    DropGoneWindows();
    auto& timers = threadTimers.timers;
    if (timers.empty())
        return false;
    auto earliest = std::min_element(timers.begin(), timers.end(),
                                     [](const Timer& a, const Timer& b) { return a.due < b.due; });
    const int64_t now = Now();
    if (earliest->due > now)
        return false;
    earliest->due = now + earliest->interval;
    message = {earliest->window, kMsgTimer, earliest->id, 0};
    return true;
}

std::optional<int64_t> MillisecondsToNextTimer()
{
    DropGoneWindows();
    auto& timers = threadTimers.timers;
    if (timers.empty())
        return std::nullopt;
    int64_t due = timers.front().due;
    for (const Timer& t : timers)
        due = std::min(due, t.due);
    return std::max<int64_t>(due - Now(), 0);
}

void UseVirtualTimerClock(bool virtualClock)
{
    threadTimers.virtualClock = virtualClock;
    threadTimers.virtualNow = 0;
    threadTimers.timers.clear();
}

void AdvanceVirtualTimerClock(int64_t milliseconds)
{
    threadTimers.virtualNow += std::max<int64_t>(milliseconds, 0);
}

void ClearThisThreadTimers()
{
    threadTimers.timers.clear();
}

} // namespace detail

} // namespace platform
