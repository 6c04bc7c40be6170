#pragma once
// The system sound of a message box: rung on the terminal when there is one.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

void MessageBeep(uint32_t type);

namespace detail {
inline constexpr size_t kKeptBeeps = 64;
// The latest kKeptBeeps types rung by this thread, oldest first (tests).
std::vector<uint32_t>& ThreadBeeps();
} // namespace detail

} // namespace platform
