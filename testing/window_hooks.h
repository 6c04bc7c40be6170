#pragma once
// Test hooks into platform/window: failing class registration, the close
// signals, and a clean slate of classes, windows and queued messages.
#include <cstdint>
#include <string>

namespace platform::testing {

// The next window class registration fails with `error`.
void FailNextClassRegistration(uint32_t error);
// Records a signal as its handler would, without raising it.
void RecordCloseSignal(int signal);
// Forgets the class, every message and quit of the calling thread, and any
// recorded signal.
void ResetWindowState(const std::string& className);

} // namespace platform::testing
