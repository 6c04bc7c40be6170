#pragma once
// Window timers: a timer of a window falls due every `milliseconds` and then
// reaches the window as a timer message, when the calling thread's queue has
// nothing posted. Timers belong to the thread that set them. Tests may swap
// the thread's clock for a virtual one that moves only when told.
#include <cstdint>
#include <optional>

#include "platform/window/message_queue.h"

namespace platform {

// Starts (or restarts) timer `id` of the window; false for a gone window.
bool SetTimer(Window* window, uintptr_t id, uint32_t milliseconds);
bool KillTimer(Window* window, uintptr_t id);

namespace detail {
// The earliest due timer of this thread as a timer message, rescheduled.
bool TakeDueTimer(Message& message);
// Milliseconds until this thread's next timer falls due (0 when overdue).
std::optional<int64_t> MillisecondsToNextTimer();
// This thread's timers read a virtual clock from now on (true) or the real one.
void UseVirtualTimerClock(bool virtualClock);
void AdvanceVirtualTimerClock(int64_t milliseconds);
// Forgets every timer of this thread.
void ClearThisThreadTimers();
} // namespace detail

} // namespace platform
