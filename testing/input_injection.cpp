#include "testing/input_injection.h"

#include "platform/input/input_device.h"
#include "platform/input/input_source.h"
#include "platform/input/input_system.h"
#include "platform/input/terminal_feed.h"

namespace platform::testing {

namespace {
void ClearEverything()
{
    input::ResetInputSource();
    input::detail::ClearCreationFailures();
    input::detail::ExpireTerminalBytes();
    // Taps made by the expiry above must not leak into the next read.
    input::ResetInputSource();
}
} // namespace

InjectedInput::InjectedInput()
{
    input::detail::AllowTerminalFeed(false);
    ClearEverything();
}

InjectedInput::~InjectedInput()
{
    ClearEverything();
    input::detail::AllowTerminalFeed(true);
}

void PressKey(uint8_t scanCode)
{
    input::HoldKey(scanCode);
}

void ReleaseKey(uint8_t scanCode)
{
    input::LiftKey(scanCode);
}

void TapKey(uint8_t scanCode)
{
    input::TapKey(scanCode);
}

void MoveMouse(int32_t dx, int32_t dy, int32_t wheel)
{
    input::MoveMouse(dx, dy, wheel);
}

void PressMouseButton(int button)
{
    input::SetMouseButton(button, true);
}

void ReleaseMouseButton(int button)
{
    input::SetMouseButton(button, false);
}

void SetWindowFocus(bool focused)
{
    input::SetFocus(focused);
}

void TypeOnTerminal(std::string_view bytes)
{
    input::detail::FeedTerminalBytes(bytes.data(), bytes.size());
}

void TerminalFallsSilent()
{
    input::detail::ExpireTerminalBytes();
}

void FailNextInputCreation(InputStep step)
{
    const input::InputCreation which = step == InputStep::kSystem     ? input::InputCreation::kSystem
                                       : step == InputStep::kKeyboard ? input::InputCreation::kKeyboard
                                                                      : input::InputCreation::kMouse;
    input::detail::FailNextCreation(which, input::kInputDeviceNotRegistered);
}

} // namespace platform::testing
