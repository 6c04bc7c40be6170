#pragma once
// The C runtime's rand() as the system expects it: 0..kRandMax, the same
// sequence on every run, never seeded. Each thread has its own sequence.
namespace platform::os {

inline constexpr int kRandMax = 0x7fff;

int Rand();

namespace detail {
// Starts the calling thread's sequence again (tests).
void ResetRand();
} // namespace detail

} // namespace platform::os
