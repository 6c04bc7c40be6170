#pragma once
// What the keys and the mouse are doing right now: the state the input devices
// read. Keys, pointer movement, wheel and buttons come from the real window
// when there is one (platform/window/screen.h), key presses also from the
// terminal (platform/input/terminal_feed.h), and everything from tests
// (testing/input_injection.h). A terminal reports presses but never
// releases, so its keys are taps: held for the next keyboard read only. A
// window's key or button pressed and released between two reads is still
// seen held by the next one.
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
// Buttons outside 0..3 are ignored. A press is seen by the next mouse read
// even when the button is released before it.
void SetMouseButton(int button, bool held);
// Every key and button released (what was pressed since the last read is
// still seen by it).
void LiftEverything();

// Whether an exclusive mouse is acquired: the window then keeps the pointer
// to itself, hidden, and reports its movement without bounds.
void SetPointerCaptured(bool captured);
bool PointerCaptured();

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

// Called before a device is acquired or read, so a window's waiting events
// (focus, keys, pointer) are in the state first.
using EventPump = void (*)();
void SetEventPump(EventPump pump);
void PumpEvents();

// No key, no movement, no button, focus back, no feed left untouched.
void ResetInputSource();

} // namespace platform::input
