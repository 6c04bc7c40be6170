#pragma once
// The input system: made once for the program instance, it creates the system
// keyboard and the system mouse. Each creation can be made to fail from tests
// (testing/input_injection.h).
#include <cstdint>

#include "platform/input/input_device.h"

namespace platform {
struct Instance;
}

namespace platform::input {

inline constexpr uint32_t kInputVersion = 0x0800;

enum class DeviceKind { kSystemKeyboard, kSystemMouse };

class InputSystem {
public:
    InputSystem() = default;
    InputSystem(const InputSystem&) = delete;
    InputSystem& operator=(const InputSystem&) = delete;

    // A new device in *device, or null and a failure code.
    uint32_t CreateDevice(DeviceKind kind, InputDevice** device);
    void Release();

private:
    ~InputSystem() = default;
};

// The input system in *system, or null and a failure code (a version other than
// kInputVersion is refused).
uint32_t CreateInputSystem(Instance* instance, uint32_t version, InputSystem** system);

// The steps that can be made to fail.
enum class InputCreation { kSystem, kKeyboard, kMouse };

namespace detail {
// The next creation of `which` fails with `result`.
void FailNextCreation(InputCreation which, uint32_t result);
void ClearCreationFailures();
} // namespace detail

} // namespace platform::input
