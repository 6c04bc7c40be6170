#pragma once
// The terminal's key presses fed to the keyboard: while the keyboard device
// exists and standard input is a terminal, every keyboard read first takes the
// bytes waiting on the terminal, decodes them (platform/input/terminal_keys.h)
// and taps their keys. An Escape byte with nothing after it for a moment is
// the Escape key.
namespace platform::input {

// Puts the terminal in key mode and starts feeding; false when standard input
// is no terminal or tests have turned the terminal off.
bool StartTerminalFeed();
void StopTerminalFeed();
bool TerminalFeedRunning();

// How long a lone Escape byte waits for the rest of a sequence.
inline constexpr double kEscapeWaitSeconds = 0.03;

namespace detail {
// Tests drive the keyboard themselves: no terminal feeding while false.
void AllowTerminalFeed(bool allowed);
// Decodes `bytes` as if the terminal had sent them, tapping their keys.
void FeedTerminalBytes(const char* bytes, unsigned long size);
// A moment has passed without bytes: a waiting Escape becomes the Escape key.
void ExpireTerminalBytes();
} // namespace detail

} // namespace platform::input
