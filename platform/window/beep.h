#pragma once
// The system sound of a message box: rung on the terminal when there is one.
#include <cstdint>
#include <vector>

namespace platform {

void MessageBeep(uint32_t type);

namespace detail {
// The types rung by this thread, oldest first (tests).
std::vector<uint32_t>& ThreadBeeps();
} // namespace detail

} // namespace platform
