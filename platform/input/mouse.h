#pragma once
// The system mouse: its state is the 16-byte mouse record (platform/input/
// input_source.h), the movement since the previous read and the buttons now.
#include "platform/input/input_device.h"
#include "platform/input/input_source.h"

namespace platform::input {

inline constexpr size_t kMouseStateSize = sizeof(MouseState);

class MouseDevice : public InputDevice {
public:
    MouseDevice();
    uint32_t GetDeviceState(size_t size, void* data) override;

private:
    ~MouseDevice() override;
};

} // namespace platform::input
