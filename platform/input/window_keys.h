#pragma once
// Keys of a real window turned into the keyboard's scan codes: the window
// system names a key by where it sits on the board (SDL's scancodes, the USB
// keyboard usages), the keyboard device by its PC scan code. Keys a PC board
// does not have read as 0; so do numbers outside the table.
#include <cstdint>

namespace platform::input {

uint8_t ScanCodeOfWindowKey(int windowKey);

// A window's mouse button (1 left, 2 middle, 3 right, 4 and 5 the side
// buttons) as the mouse record's button index (0 left, 1 right, 2 middle,
// 3 the first side button), or -1 for a button the record has no byte for.
int MouseButtonOfWindowButton(int windowButton);

// How far one notch of the wheel moves the mouse record's wheel axis.
inline constexpr int32_t kWheelNotch = 120;

} // namespace platform::input
