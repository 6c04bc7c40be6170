#pragma once
// Test hooks into platform/input: keys, mouse movement and buttons, the main
// window's focus and the terminal's bytes, injected in-process; creation steps
// of the input system made to fail.
#include <cstdint>
#include <string_view>

namespace platform::testing {

// While alive, the keyboard and mouse are the test's alone: the real terminal
// feeds nothing, and every key, movement, button and failure starts cleared
// (and is cleared again at the end).
class InjectedInput {
public:
    InjectedInput();
    ~InjectedInput();
    InjectedInput(const InjectedInput&) = delete;
    InjectedInput& operator=(const InjectedInput&) = delete;
};

// Held until released.
void PressKey(uint8_t scanCode);
void ReleaseKey(uint8_t scanCode);
// Held for the next keyboard read only, as a terminal key press.
void TapKey(uint8_t scanCode);
// Movement reported by the next mouse read (adds up until then).
void MoveMouse(int32_t dx, int32_t dy, int32_t wheel = 0);
void PressMouseButton(int button);
void ReleaseMouseButton(int button);
// The main window gains or loses the focus.
void SetWindowFocus(bool focused);
// Bytes as the terminal would send them for key presses.
void TypeOnTerminal(std::string_view bytes);
// The moment after the last terminal byte has passed.
void TerminalFallsSilent();

enum class InputStep { kSystem, kKeyboard, kMouse };
// The next creation of `step` fails (with a failure code of the input system).
void FailNextInputCreation(InputStep step);

} // namespace platform::testing
