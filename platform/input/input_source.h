#pragma once
// What the keys and the mouse are doing right now: the state the input devices
// read. Key presses come from the terminal (platform/input/terminal_feed.h) or
// from tests (platform/testing/input_injection.h); mouse movement only from
// tests, there being no pointer without a window system. A terminal reports
// presses but never releases, so its keys are taps: held for the next keyboard
// read only.
#include <cstdint>

namespace platform::input {

// The standard mouse record: x, y and wheel movement since the last read, then
// four button bytes (kKeyHeld while held).
struct MouseState {
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    uint8_t buttons[4] = {};
};
static_assert(sizeof(MouseState) == 16);

inline constexpr int kMouseButtonCount = 4;

// Held from now until lifted.
void HoldKey(uint8_t code);
void LiftKey(uint8_t code);
// Held for the next keyboard read only.
void TapKey(uint8_t code);

// Adds to the movement the next mouse read reports.
void MoveMouse(int32_t dx, int32_t dy, int32_t dz);
// Buttons outside 0..3 are ignored.
void SetMouseButton(int button, bool held);

// The main window's focus. Losing it takes every acquired device away.
void SetFocus(bool focused);
bool HasFocus();
// How often the focus has been lost: a device acquired before the last loss is lost.
uint64_t FocusLossCount();

// The 256 key bytes now (held or tapped); taps are used up.
void ReadKeys(uint8_t keys[256]);
// Movement since the last take, buttons now.
MouseState TakeMouse();

// Called at the start of every keyboard read, so a feed can add its keys first.
using KeyFeed = void (*)();
void SetKeyFeed(KeyFeed feed);

// No key, no movement, no button, focus back, no feed left untouched.
void ResetInputSource();

} // namespace platform::input
