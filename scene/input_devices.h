#pragma once
// DirectInputDevices: the program's keyboard and mouse, and the state the last
// poll read from them: 256 key bytes by scan code, the mouse movement and
// buttons, and a latch per key so that a press counts as a hit only once. One
// instance, made on first use of GetDirectInput; start-up initialises it once
// the main window exists, shutdown releases it after the key bindings.
#include <cstdint>

#include "platform/input/input_device.h"
#include "platform/input/input_source.h"
#include "platform/input/input_system.h"
#include "platform/input/scan_codes.h"

namespace platform {
class Window;
struct Instance;
} // namespace platform

class DirectInputDevices {
public:
    DirectInputDevices();
    DirectInputDevices(const DirectInputDevices&) = delete;
    DirectInputDevices& operator=(const DirectInputDevices&) = delete;

    // Creates the input system, the keyboard (non-exclusive, foreground) and
    // the mouse (exclusive, foreground) and acquires both. A failure is
    // reported in the error box; what could not be made stays null.
    void InitDirectInput(platform::Instance* instance, platform::Window* window);
    void InitInput(platform::Instance* instance, platform::Window* window);
    // Unacquires and releases the devices, then the input system.
    void ReleaseDirectInput();
    // ReleaseDirectInput, then the singleton goes away.
    void ReleaseInput();

    // Reads the key bytes; a key read as released may be hit again. A failed
    // read (the focus is gone) acquires the keyboard again and keeps the old state.
    void PollKeyboard();
    // Reads the mouse record; a failed read acquires the mouse again.
    void PollMouse();

    // Non-zero while the key is held.
    uint8_t IsKeyDown(uint8_t code) const { return keyState[code] & platform::input::kKeyHeld; }
    // True once per press: again only after a poll has seen the key released.
    bool IsKeyHit(uint8_t code);
    // The button byte (0 to 3; any other button reads as released).
    uint8_t IsMouseButtonDown(int button) const;
    // Movement read by the last poll, in device counts: x to the right, y
    // downward, the wheel.
    float GetMouseDX() const { return static_cast<float>(mouseState.x); }
    float GetMouseDY() const { return static_cast<float>(mouseState.y); }
    float GetMouseDZ() const { return static_cast<float>(mouseState.z); }

    platform::input::InputSystem* directInput = nullptr;
    platform::input::InputDevice* keyboard = nullptr;
    platform::input::InputDevice* mouse = nullptr;
    platform::input::MouseState mouseState;
    uint8_t keyState[256] = {};
    uint8_t pressed[256] = {};
};

DirectInputDevices* GetDirectInput();
