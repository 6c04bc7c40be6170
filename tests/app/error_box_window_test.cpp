// The program on a display (a virtual X server of the test's own) with no
// terminal: its errors are asked about in a real dialog window captioned
// "Zandrel Engine - error". Abort ends the program with exit code 1, Continue
// Anyway goes on; where no OpenGL 4.5 context can be made, the shader checks
// say so in the box instead of leaving a black window.
#include <gtest/gtest.h>

#include "testing/virtual_display.h"

#include <X11/keysym.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

constexpr const char* kCaption = "Zandrel Engine - error";

// Waits for the box, copies it, answers with `key` (Alt held when asked) and
// waits until it is gone; what it said, or "" when it never came.
std::string AnswerTheBox(const VirtualDisplay& display, KeySym key, bool alt)
{
    const auto box = display.WaitForWindow(kCaption);
    if (!box)
        return "";
    display.Focus(*box);
    display.Press(XK_c, {XK_Control_L});
    std::string said;
    VirtualDisplay::WaitFor([&] {
        said = display.ClipboardText().value_or("");
        return said.find("Device doesn't support") != std::string::npos || said.find("Can't") != std::string::npos;
    });
    if (alt)
        display.Press(key, {XK_Alt_L});
    else
        display.Press(key);
    VirtualDisplay::WaitFor([&] { return display.FindWindow(kCaption) != box; });
    return said;
}

TEST(ErrorBoxWindow, ADamagedWidthIsAskedInAWindowAndAbortEndsTheProgramWithOne)
{
    VirtualDisplay display;
    ZANDREL_NEED_DISPLAY(display);
    ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=0\nheight=64\n");
    ASSERT_TRUE(program.Start());
    // Its owner, the main window, has no real window: the box is on the screen all the same.
    const auto box = display.WaitForWindow(kCaption);
    ASSERT_TRUE(box.has_value());
    XWindowAttributes place{};
    XGetWindowAttributes(display.X(), *box, &place);
    EXPECT_GE(place.x, 0);
    EXPECT_LE(place.x + place.width, DisplayWidth(display.X(), DefaultScreen(display.X())));
    const std::string said = AnswerTheBox(display, XK_a, true);
    EXPECT_NE(said.find("Zandrel Engine - error\r\n"), std::string::npos) << said;
    EXPECT_NE(said.find("Can't create Direct3D device"), std::string::npos) << said;
    EXPECT_EQ(program.Wait(), 1) << program.Out();
    EXPECT_EQ(program.Err(), "") << "shown, so nothing left on the error output";
}

TEST(ErrorBoxWindow, ASignalWhileTheBoxIsUpEndsTheProgramAsAbortWould)
{
    VirtualDisplay display;
    ZANDREL_NEED_DISPLAY(display);
    ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=0\nheight=64\n");
    ASSERT_TRUE(program.Start() && display.WaitForWindow(kCaption));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 1);
    EXPECT_NE(program.Out().find("SIGTERM while the error box waited: the program ends, as after Abort.\n"),
              std::string::npos);
}

TEST(ErrorBoxWindow, WithoutOpenGl45TheShaderChecksFailAndContinueGoesOn)
{
    VirtualDisplay display;
    ZANDREL_NEED_DISPLAY(display);
    // Room for instances: a frame drawn before the close comes asks nothing more.
    ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=64\nheight=48\ninstancingBufferSize=64\n");
    setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1); // the driver offers no more than OpenGL 3.3
    const bool started = program.Start();
    unsetenv("MESA_GL_VERSION_OVERRIDE");
    ASSERT_TRUE(started);
    for (const std::string model : {"Vertex", "Pixel"})
        EXPECT_NE(AnswerTheBox(display, XK_Return, false).find("Device doesn't support " + model + " Shader Model 3.0"),
                  std::string::npos);
    const auto window = display.WaitForWindow("Zandrel Engine");
    ASSERT_TRUE(window.has_value()) << program.Out();
    display.Close(*window);
    EXPECT_EQ(program.Wait(), 0) << program.Out();
}

} // namespace
