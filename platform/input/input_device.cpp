#include "platform/input/input_device.h"

#include "platform/input/input_source.h"

namespace platform::input {

InputDevice::~InputDevice() = default;

uint32_t InputDevice::SetDataFormat(DataFormat format)
{
    if (format != accepted_)
        return kInputInvalidParam;
    format_ = format;
    return kInputOk;
}

uint32_t InputDevice::SetCooperativeLevel(Window*, uint32_t flags)
{
    // Exactly one of exclusive/non-exclusive and one of foreground/background.
    const uint32_t sharing = flags & (kCoopExclusive | kCoopNonExclusive);
    const uint32_t when = flags & (kCoopForeground | kCoopBackground);
    if (sharing == 0 || sharing == (kCoopExclusive | kCoopNonExclusive) || when == 0 ||
        when == (kCoopForeground | kCoopBackground))
        return kInputInvalidParam;
    cooperativeLevel_ = flags;
    return kInputOk;
}

uint32_t InputDevice::Acquire()
{
    ++acquireCalls_;
    if (format_ == DataFormat::kNone)
        return kInputInvalidParam;
    PumpEvents();
    if (!HasFocus())
        return kInputAccessDenied;
    SetAcquired(true);
    acquiredAtLoss_ = FocusLossCount();
    return kInputOk;
}

uint32_t InputDevice::Unacquire()
{
    ++unacquireCalls_;
    SetAcquired(false);
    return kInputOk;
}

void InputDevice::Release()
{
    SetAcquired(false);
    delete this;
}

void InputDevice::SetAcquired(bool acquired)
{
    // An exclusive mouse has the pointer to itself while it is acquired.
    if (accepted_ == DataFormat::kMouse && (cooperativeLevel_ & kCoopExclusive) && acquired != acquired_)
        SetPointerCaptured(acquired);
    acquired_ = acquired;
}

uint32_t InputDevice::CheckRead(size_t size, void* data, size_t stateSize)
{
    if (!data || size != stateSize || format_ == DataFormat::kNone)
        return kInputInvalidParam;
    if (!acquired_)
        return kInputNotAcquired;
    PumpEvents();
    if (!HasFocus() || FocusLossCount() != acquiredAtLoss_) {
        SetAcquired(false);
        return kInputLost;
    }
    return kInputOk;
}

} // namespace platform::input
