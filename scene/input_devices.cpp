#include "scene/input_devices.h"

#include <cstring>
#include <iostream>

#include "kernel/error_stream.h"
#include "platform/input/keyboard.h"
#include "platform/input/mouse.h"

using namespace platform::input;

namespace {
DirectInputDevices* devices = nullptr;
} // namespace

DirectInputDevices* GetDirectInput()
{
    if (!devices)
        devices = new DirectInputDevices;
    return devices;
}

DirectInputDevices::DirectInputDevices() = default;

void DirectInputDevices::InitDirectInput(platform::Instance* instance, platform::Window* window)
{
    directInput = nullptr;
    keyboard = nullptr;
    mouse = nullptr;
    mouseState = MouseState{};
    std::memset(keyState, 0, sizeof(keyState));
    std::memset(pressed, 0, sizeof(pressed));

    if (!InputSucceeded(CreateInputSystem(instance, kInputVersion, &directInput)) || !directInput) {
        directInput = nullptr;
        errorTwoLines = false;
        GetErrorStream() << "Can't initialize DirectInput!\n";
        // Without the system there are no devices to make.
        return;
    }
    std::cout << "DirectInput handle: " << static_cast<const void*>(directInput) << "\n";

    if (InputSucceeded(directInput->CreateDevice(DeviceKind::kSystemKeyboard, &keyboard)) && keyboard) {
        std::cout << "DirectInput keyboard handle: " << static_cast<const void*>(keyboard) << "\n";
        keyboard->SetDataFormat(DataFormat::kKeyboard);
        keyboard->SetCooperativeLevel(window, kCoopNonExclusive | kCoopForeground);
        keyboard->Acquire();
    } else {
        keyboard = nullptr;
        errorTwoLines = false;
        GetErrorStream() << "Can't initialize DirectInput keyboard!\n";
    }

    if (InputSucceeded(directInput->CreateDevice(DeviceKind::kSystemMouse, &mouse)) && mouse) {
        std::cout << "DirectInput mouse handle: " << static_cast<const void*>(mouse) << "\n";
        mouse->SetDataFormat(DataFormat::kMouse);
        mouse->SetCooperativeLevel(window, kCoopExclusive | kCoopForeground);
        mouse->Acquire();
    } else {
        mouse = nullptr;
        errorTwoLines = false;
        GetErrorStream() << "Can't initialize DirectInput mouse!\n";
    }
}

void DirectInputDevices::InitInput(platform::Instance* instance, platform::Window* window)
{
    InitDirectInput(instance, window);
}

void DirectInputDevices::ReleaseDirectInput()
{
    if (keyboard) {
        keyboard->Unacquire();
        keyboard->Release();
        keyboard = nullptr;
        std::cout << "DirectInput keyboard released.\n";
    }
    if (mouse) {
        mouse->Unacquire();
        mouse->Release();
        mouse = nullptr;
        std::cout << "DirectInput mouse released.\n";
    }
    if (directInput) {
        directInput->Release();
        directInput = nullptr;
        std::cout << "DirectInput released.\n";
    }
}

void DirectInputDevices::ReleaseInput()
{
    ReleaseDirectInput();
    if (devices == this)
        devices = nullptr;
    delete this;
}

void DirectInputDevices::PollKeyboard()
{
    // A keyboard that could not be made reads as no key held.
    if (!keyboard)
        return;
    const uint32_t result = keyboard->GetDeviceState(sizeof(keyState), keyState);
    for (int code = 0; code < kKeyCount; ++code)
        if (keyState[code] == 0)
            pressed[code] = 0;
    if (!InputSucceeded(result))
        keyboard->Acquire();
}

void DirectInputDevices::PollMouse()
{
    if (!mouse)
        return;
    if (!InputSucceeded(mouse->GetDeviceState(sizeof(mouseState), &mouseState)))
        mouse->Acquire();
}

bool DirectInputDevices::IsKeyHit(uint8_t code)
{
    if (!IsKeyDown(code) || pressed[code])
        return false;
    pressed[code] = 1;
    return true;
}

uint8_t DirectInputDevices::IsMouseButtonDown(int button) const
{
    if (button < 0 || button >= kMouseButtonCount)
        return 0;
    return mouseState.buttons[button];
}
