// What a window's events leave in the input state, without a display: a
// button pressed and released between two reads is seen once, losing the
// focus releases everything, and an acquired exclusive mouse holds the pointer.
#include <gtest/gtest.h>

#include "platform/input/input_source.h"
#include "platform/input/input_system.h"
#include "platform/input/mouse.h"
#include "platform/input/scan_codes.h"
#include "testing/input_injection.h"
#include "platform/window/window.h"

using namespace platform::input;
namespace inject = platform::testing;

namespace {

TEST(InputWindowState, AButtonPressedAndReleasedBeforeAReadIsSeenByThatReadOnly)
{
    inject::InjectedInput injected;
    for (int button = 0; button < kMouseButtonCount; ++button) {
        SCOPED_TRACE(button);
        SetMouseButton(button, true);
        SetMouseButton(button, false);
        MouseState first = TakeMouse();
        for (int other = 0; other < kMouseButtonCount; ++other)
            EXPECT_EQ(first.buttons[other], other == button ? kKeyHeld : 0);
        EXPECT_EQ(TakeMouse().buttons[button], 0);
    }
    // Held across reads while held.
    SetMouseButton(2, true);
    EXPECT_EQ(TakeMouse().buttons[2], kKeyHeld);
    EXPECT_EQ(TakeMouse().buttons[2], kKeyHeld);
    SetMouseButton(2, false);
    EXPECT_EQ(TakeMouse().buttons[2], 0);
}

TEST(InputWindowState, LiftingEverythingReleasesKeysAndButtonsButNotWhatTheNextReadOwes)
{
    inject::InjectedInput injected;
    HoldKey(kKeyW);
    HoldKey(kKeyUp);
    SetMouseButton(0, true);
    uint8_t keys[kKeyCount];
    ReadKeys(keys);
    TakeMouse();
    TapKey(kKeyEscape); // pressed since the last read
    LiftEverything();
    ReadKeys(keys);
    EXPECT_EQ(keys[kKeyW], 0);
    EXPECT_EQ(keys[kKeyUp], 0);
    EXPECT_EQ(keys[kKeyEscape], kKeyHeld);
    EXPECT_EQ(TakeMouse().buttons[0], 0);
}

TEST(InputWindowState, OnlyAnAcquiredExclusiveMouseHoldsThePointer)
{
    inject::InjectedInput injected;
    InputSystem* system = nullptr;
    ASSERT_EQ(kInputOk, CreateInputSystem(platform::CurrentInstance(), kInputVersion, &system));
    const struct {
        DeviceKind kind;
        DataFormat format;
        uint32_t level;
        bool holds;
    } rows[] = {
        {DeviceKind::kSystemMouse, DataFormat::kMouse, kCoopExclusive | kCoopForeground, true},
        {DeviceKind::kSystemMouse, DataFormat::kMouse, kCoopNonExclusive | kCoopForeground, false},
        {DeviceKind::kSystemKeyboard, DataFormat::kKeyboard, kCoopExclusive | kCoopForeground, false},
        {DeviceKind::kSystemKeyboard, DataFormat::kKeyboard, kCoopNonExclusive | kCoopForeground, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.level);
        InputDevice* device = nullptr;
        ASSERT_EQ(kInputOk, system->CreateDevice(row.kind, &device));
        ASSERT_EQ(kInputOk, device->SetDataFormat(row.format));
        ASSERT_EQ(kInputOk, device->SetCooperativeLevel(nullptr, row.level));
        EXPECT_FALSE(PointerCaptured());
        ASSERT_EQ(kInputOk, device->Acquire());
        EXPECT_EQ(PointerCaptured(), row.holds);
        device->Unacquire();
        EXPECT_FALSE(PointerCaptured());

        // Lost with the focus, held again once acquired with the focus back.
        ASSERT_EQ(kInputOk, device->Acquire());
        SetFocus(false);
        uint8_t state[256];
        EXPECT_EQ(device->GetDeviceState(row.format == DataFormat::kMouse ? kMouseStateSize : 256, state), kInputLost);
        EXPECT_FALSE(PointerCaptured());
        SetFocus(true);
        ASSERT_EQ(kInputOk, device->Acquire());
        EXPECT_EQ(PointerCaptured(), row.holds);
        device->Release();
        EXPECT_FALSE(PointerCaptured()) << "a released mouse lets the pointer go";
    }
    system->Release();
}

} // namespace
