// The keyboard and mouse as the program reads them: start-up and release lines,
// held keys and once-per-press hits, mouse movement and buttons, a lost focus,
// and devices that could not be made.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/scene/input_test_support.h"

using namespace input_test;

namespace {

std::string Pointer(const void* p)
{
    std::ostringstream text;
    text << p;
    return text.str();
}

} // namespace

TEST(InputDevices, StartUpPrintsEachHandleAndReleaseEachLine)
{
    inject::InjectedInput injected;
    platform::testing::ScriptedMessageBoxes boxes;
    DirectInputDevices* input = GetDirectInput();
    std::string startLines;
    {
        zandrel_test::CoutCapture out;
        input->InitInput(nullptr, nullptr);
        startLines = out.Text();
    }
    ASSERT_NE(input->directInput, nullptr);
    ASSERT_NE(input->keyboard, nullptr);
    ASSERT_NE(input->mouse, nullptr);
    EXPECT_EQ(startLines, "DirectInput handle: " + Pointer(input->directInput) + "\n" +
                              "DirectInput keyboard handle: " + Pointer(input->keyboard) + "\n" +
                              "DirectInput mouse handle: " + Pointer(input->mouse) + "\n");
    EXPECT_TRUE(input->keyboard->Acquired());
    EXPECT_TRUE(input->mouse->Acquired());
    EXPECT_EQ(input->keyboard->CooperativeLevel(), kCoopNonExclusive | kCoopForeground);
    EXPECT_EQ(input->mouse->CooperativeLevel(), kCoopExclusive | kCoopForeground);
    EXPECT_TRUE(boxes.Shown().empty());

    zandrel_test::CoutCapture out;
    input->ReleaseInput();
    EXPECT_EQ(out.Text(), "DirectInput keyboard released.\nDirectInput mouse released.\nDirectInput released.\n");
    // A fresh holder afterwards.
    EXPECT_EQ(GetDirectInput()->keyboard, nullptr);
    GetDirectInput()->ReleaseInput();
}

TEST(InputDevices, AHeldKeyIsDownEveryFrameAndHitOnlyOncePerPress)
{
    InputRig rig;
    DirectInputDevices* input = GetDirectInput();
    inject::PressKey(kKeyW);
    std::vector<bool> down, hit;
    for (int frame = 0; frame < 3; ++frame) {
        rig.Poll();
        down.push_back(input->IsKeyDown(kKeyW) != 0);
        hit.push_back(input->IsKeyHit(kKeyW));
        // Asking again in the same frame changes nothing.
        EXPECT_FALSE(input->IsKeyHit(kKeyW));
    }
    EXPECT_EQ(down, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(hit, (std::vector<bool>{true, false, false}));

    inject::ReleaseKey(kKeyW);
    rig.Poll();
    EXPECT_EQ(input->IsKeyDown(kKeyW), 0);
    EXPECT_FALSE(input->IsKeyHit(kKeyW));
    inject::PressKey(kKeyW);
    rig.Poll();
    EXPECT_TRUE(input->IsKeyHit(kKeyW));
    EXPECT_EQ(input->IsKeyDown(kKeyS), 0);
}

TEST(InputDevices, AHitNotAskedForWhileHeldIsStillReportedLater)
{
    InputRig rig;
    DirectInputDevices* input = GetDirectInput();
    inject::PressKey(kKeyEscape);
    rig.Poll();
    rig.Poll();
    EXPECT_TRUE(input->IsKeyHit(kKeyEscape));
}

TEST(InputDevices, MouseMovementIsThatSinceThePreviousPollAndButtonsAreTheirBytes)
{
    InputRig rig;
    DirectInputDevices* input = GetDirectInput();
    inject::MoveMouse(3, -4, 120);
    inject::MoveMouse(2, 1, 0);
    inject::PressMouseButton(0);
    inject::PressMouseButton(3);
    rig.Poll();
    EXPECT_EQ(input->GetMouseDX(), 5.0f);
    EXPECT_EQ(input->GetMouseDY(), -3.0f);
    EXPECT_EQ(input->GetMouseDZ(), 120.0f);
    EXPECT_EQ(input->IsMouseButtonDown(0), kKeyHeld);
    EXPECT_EQ(input->IsMouseButtonDown(1), 0);
    EXPECT_EQ(input->IsMouseButtonDown(3), kKeyHeld);
    // Buttons that do not exist read as released.
    EXPECT_EQ(input->IsMouseButtonDown(4), 0);
    EXPECT_EQ(input->IsMouseButtonDown(-1), 0);

    inject::ReleaseMouseButton(0);
    rig.Poll();
    EXPECT_EQ(input->GetMouseDX(), 0.0f);
    EXPECT_EQ(input->GetMouseDY(), 0.0f);
    EXPECT_EQ(input->GetMouseDZ(), 0.0f);
    EXPECT_EQ(input->IsMouseButtonDown(0), 0);
    EXPECT_EQ(input->IsMouseButtonDown(3), kKeyHeld);
}

TEST(InputDevices, WithoutTheFocusEveryPollReacquiresAndKeepsTheLastState)
{
    InputRig rig;
    DirectInputDevices* input = GetDirectInput();
    inject::PressKey(kKeyA);
    inject::MoveMouse(7, 0, 0);
    rig.Poll();
    ASSERT_NE(input->IsKeyDown(kKeyA), 0);
    const int keyboardAcquires = input->keyboard->AcquireCalls();
    const int mouseAcquires = input->mouse->AcquireCalls();

    platform::testing::ScriptedMessageBoxes boxes;
    zandrel_test::CoutCapture out;
    inject::SetWindowFocus(false);
    inject::ReleaseKey(kKeyA);
    inject::MoveMouse(9, 9, 0);
    for (int frame = 1; frame <= 3; ++frame) {
        rig.Poll();
        EXPECT_EQ(input->keyboard->AcquireCalls(), keyboardAcquires + frame);
        EXPECT_EQ(input->mouse->AcquireCalls(), mouseAcquires + frame);
        // Neither cleared nor replaced.
        EXPECT_NE(input->IsKeyDown(kKeyA), 0);
        EXPECT_EQ(input->GetMouseDX(), 7.0f);
    }
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(out.Text(), "");

    // With the focus back, the first poll acquires and the next one reads.
    inject::SetWindowFocus(true);
    rig.Poll();
    EXPECT_EQ(input->keyboard->AcquireCalls(), keyboardAcquires + 4);
    rig.Poll();
    EXPECT_EQ(input->keyboard->AcquireCalls(), keyboardAcquires + 4);
    EXPECT_EQ(input->IsKeyDown(kKeyA), 0);
    EXPECT_EQ(input->GetMouseDX(), 9.0f);
}

TEST(InputDevices, EachFailedCreationShowsItsBoxAndPollsStaySafe)
{
    struct Case {
        inject::InputStep step;
        std::string text;
        bool keyboard, mouse;
    };
    for (const Case& c : {Case{inject::InputStep::kSystem, "Can't initialize DirectInput!\n", false, false},
                          Case{inject::InputStep::kKeyboard, "Can't initialize DirectInput keyboard!\n", false, true},
                          Case{inject::InputStep::kMouse, "Can't initialize DirectInput mouse!\n", true, false}}) {
        inject::InjectedInput injected;
        platform::testing::ScriptedMessageBoxes boxes;
        inject::FailNextInputCreation(c.step);
        DirectInputDevices* input = GetDirectInput();
        {
            zandrel_test::CoutCapture quiet;
            input->InitInput(nullptr, nullptr);
        }
        ASSERT_EQ(boxes.Shown().size(), 1u) << c.text;
        EXPECT_NE(boxes.Shown()[0].text.find(c.text.substr(0, c.text.size() - 1)), std::string::npos)
            << boxes.Shown()[0].text;
        EXPECT_EQ(input->keyboard != nullptr, c.keyboard) << c.text;
        EXPECT_EQ(input->mouse != nullptr, c.mouse) << c.text;

        // After "Continue Anyway" the frame's reads go on without the device.
        inject::PressKey(kKeyEscape);
        inject::MoveMouse(4, 0, 0);
        input->PollMouse();
        input->PollKeyboard();
        EXPECT_EQ(input->IsKeyHit(kKeyEscape), c.keyboard) << c.text;
        EXPECT_EQ(input->GetMouseDX(), c.mouse ? 4.0f : 0.0f) << c.text;

        zandrel_test::CoutCapture out;
        input->ReleaseInput();
        const std::string released = out.Text();
        EXPECT_EQ(released.find("keyboard released") != std::string::npos, c.keyboard);
        EXPECT_EQ(released.find("mouse released") != std::string::npos, c.mouse);
        EXPECT_EQ(released.find("DirectInput released.") != std::string::npos, c.step != inject::InputStep::kSystem);
    }
}
