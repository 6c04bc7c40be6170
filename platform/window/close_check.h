#pragma once
// Long work looks at the close signal (CloseSignalReceived) once every few
// thousand of its steps: an atomic load that often costs nothing beside the
// work, and the work still ends within moments of the signal. The steps are
// counted on their thread as they go, a measure of how much work an input
// cost (in steps, not seconds) for whoever compares inputs.
#include <cstdint>

#include "platform/window/close_signals.h"

namespace platform {

inline constexpr uint64_t kStepsPerCloseCheck = 4096;

namespace detail {
inline thread_local uint64_t stepsOnThisThread = 0;
} // namespace detail

// Counts `steps` steps of work; true when the program is closing, looked for
// each time the count passes a multiple of kStepsPerCloseCheck.
inline bool ClosingAfter(uint64_t steps = 1)
{
    const uint64_t before = detail::stepsOnThisThread;
    detail::stepsOnThisThread = before + steps;
    return before / kStepsPerCloseCheck != (before + steps) / kStepsPerCloseCheck && CloseSignalReceived();
}

// Counts `steps` steps of work that does not stop midway.
inline void CountSteps(uint64_t steps) { detail::stepsOnThisThread += steps; }

// The steps counted on this thread so far.
inline uint64_t StepsOnThisThread() { return detail::stepsOnThisThread; }

} // namespace platform
