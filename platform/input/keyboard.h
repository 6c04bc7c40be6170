#pragma once
// The system keyboard: its state is 256 key bytes indexed by scan code
// (platform/input/scan_codes.h), kKeyHeld set while the key is held. While it
// exists and standard input is a terminal, the terminal's key presses reach it.
#include "platform/input/input_device.h"

namespace platform::input {

inline constexpr size_t kKeyboardStateSize = 256;

class KeyboardDevice : public InputDevice {
public:
    KeyboardDevice();
    uint32_t GetDeviceState(size_t size, void* data) override;

private:
    ~KeyboardDevice() override;
};

} // namespace platform::input
