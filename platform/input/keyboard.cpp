#include "platform/input/keyboard.h"

#include "platform/input/input_source.h"
#include "platform/input/terminal_feed.h"

namespace platform::input {

KeyboardDevice::KeyboardDevice() : InputDevice(DataFormat::kKeyboard)
{
    StartTerminalFeed();
}

KeyboardDevice::~KeyboardDevice()
{
    StopTerminalFeed();
}

uint32_t KeyboardDevice::GetDeviceState(size_t size, void* data)
{
    const uint32_t checked = CheckRead(size, data, kKeyboardStateSize);
    if (checked != kInputOk)
        return checked;
    ReadKeys(static_cast<uint8_t*>(data));
    return kInputOk;
}

} // namespace platform::input
