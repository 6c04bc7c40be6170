#pragma once
// Virtual-key codes the dialogs handle, and which keys are held down now: the
// modifiers of a real dialog window's keys, as its thread takes their
// messages (platform/window/message_queue.h); the terminal and tests press
// Ctrl together with a letter.
#include <cstdint>

namespace platform {

inline constexpr int kVkTab = 0x09;
inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkShift = 0x10;
inline constexpr int kVkControl = 0x11;
inline constexpr int kVkMenu = 0x12; // Alt
inline constexpr int kVkEscape = 0x1B;
inline constexpr int kVkSpace = 0x20;
// Letters and digits are their upper-case ASCII codes ('C' is 0x43).

// True while the key is held down.
bool IsKeyDown(int virtualKey);

namespace detail {
// Holds the key down (or lets it go) for the whole process.
void SetKeyDown(int virtualKey, bool down);
} // namespace detail

} // namespace platform
