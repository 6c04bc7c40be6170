// Every key the key-name table of section Controls names, typed on a virtual X
// server into the real window, is held by the keyboard under its scan code and
// delivers the action bound to that name.
#include <gtest/gtest.h>

#include "testing/virtual_display.h"

#include "testing/window_hooks.h"
#include "platform/window/screen.h"
#include "platform/window/window.h"
#include "script/component_messages.h"
#include "tests/scene/input_test_support.h"

using namespace input_test;
using zandrel_test::VirtualDisplay;

namespace {

intptr_t PlainProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return platform::DefaultWindowProc(window, message, wParam, lParam);
}

TEST(WindowKeyNames, EveryNamedKeyTypedInTheWindowDeliversItsAction)
{
    VirtualDisplay display;
    ZANDREL_NEED_DISPLAY(display);
    platform::testing::ResetWindowState("KeyNamesClass");
    platform::WindowClass windowClass;
    windowClass.procedure = PlainProc;
    windowClass.className = "KeyNamesClass";
    ASSERT_TRUE(platform::RegisterWindowClass(windowClass));
    platform::Window* window = platform::CreateWindow(0, "KeyNamesClass", "Zandrel Engine", platform::kStylePopup, 0,
                                                      0, 64, 64, nullptr, nullptr, platform::CurrentInstance());
    platform::ShowWindow(window);
    ASSERT_TRUE(platform::OpenScreen(window, 64, 64, false));
    const auto x11 = platform::ScreenOf(window)->x11Window;
    ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return display.GeometryOf(x11).viewable; }));
    display.Focus(x11);

    {
        InputRig rig;
        Controls* controls = GetControls();
        ASSERT_EQ(controls->keyNames.size(), 50u);
        Recorder recorder;
        // One action per name, each with its own message.
        uint32_t message = 1000;
        std::map<std::string, uint32_t> actionOf;
        for (const auto& [name, code] : controls->keyNames) {
            actionOf[name] = ++message;
            controls->bindings[code].push_back({&recorder, message});
        }
        for (const auto& [name, named] : controls->keyNames) {
            SCOPED_TRACE("key name \"" + name + "\"");
            const uint8_t code = named; // a lambda may not take a structured binding
            const unsigned keycode = zandrel_test::XKeycodeOfScanCode(code);
            ASSERT_NE(keycode, 0u);
            display.Key(keycode, true);
            recorder.received.clear();
            ASSERT_TRUE(VirtualDisplay::WaitFor([&] {
                rig.Poll();
                return !recorder.received.empty();
            }));
            EXPECT_TRUE(GetDirectInput()->IsKeyDown(code));
            EXPECT_EQ(recorder.received, std::vector<uint32_t>{actionOf[name]});
            display.Key(keycode, false);
            ASSERT_TRUE(VirtualDisplay::WaitFor([&] {
                rig.Poll();
                return !GetDirectInput()->IsKeyDown(code);
            }));
        }
        controls->bindings.clear();
    }
    platform::DestroyWindow(window);
    platform::testing::ResetWindowState("KeyNamesClass");
}

} // namespace
