#include "platform/input/input_system.h"

#include <array>
#include <mutex>

#include "platform/input/keyboard.h"
#include "platform/input/mouse.h"

namespace platform::input {

namespace {

std::mutex failureLock;
std::array<uint32_t, 3> pendingFailures{};

// The failure waiting for `which`, used up; kInputOk when none.
uint32_t TakeFailure(InputCreation which)
{
    std::lock_guard guard(failureLock);
    const uint32_t result = pendingFailures[static_cast<size_t>(which)];
    pendingFailures[static_cast<size_t>(which)] = kInputOk;
    return result;
}

} // namespace

uint32_t CreateInputSystem(Instance*, uint32_t version, InputSystem** system)
{
    if (!system)
        return kInputInvalidParam;
    *system = nullptr;
    if (version != kInputVersion)
        return kInputInvalidParam;
    if (const uint32_t failure = TakeFailure(InputCreation::kSystem))
        return failure;
    *system = new InputSystem;
    return kInputOk;
}

uint32_t InputSystem::CreateDevice(DeviceKind kind, InputDevice** device)
{
    if (!device)
        return kInputInvalidParam;
    *device = nullptr;
    const InputCreation step = kind == DeviceKind::kSystemKeyboard ? InputCreation::kKeyboard : InputCreation::kMouse;
    if (const uint32_t failure = TakeFailure(step))
        return failure;
    if (kind == DeviceKind::kSystemKeyboard)
        *device = new KeyboardDevice;
    else
        *device = new MouseDevice;
    return kInputOk;
}

void InputSystem::Release()
{
    delete this;
}

namespace detail {

void FailNextCreation(InputCreation which, uint32_t result)
{
    std::lock_guard guard(failureLock);
    pendingFailures[static_cast<size_t>(which)] = InputSucceeded(result) ? kInputNoInterface : result;
}

void ClearCreationFailures()
{
    std::lock_guard guard(failureLock);
    pendingFailures.fill(kInputOk);
}

} // namespace detail

} // namespace platform::input
