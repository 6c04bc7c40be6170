#include "platform/input/mouse.h"

#include <cstring>

namespace platform::input {

MouseDevice::MouseDevice() : InputDevice(DataFormat::kMouse) {}

MouseDevice::~MouseDevice() = default;

uint32_t MouseDevice::GetDeviceState(size_t size, void* data)
{
    const uint32_t checked = CheckRead(size, data, kMouseStateSize);
    if (checked != kInputOk)
        return checked;
    const MouseState state = TakeMouse();
    std::memcpy(data, &state, sizeof(state));
    return kInputOk;
}

} // namespace platform::input
