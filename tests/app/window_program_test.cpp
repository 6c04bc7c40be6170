// The program on a display (a virtual X server of the test's own): its main
// window is a real one of the back buffer's size (of the screen's, full
// screen) at the screen's corner, captioned "Zandrel Engine";
// closing it, Escape typed in it, or Ctrl+C end the program in its normal
// order with exit code 0.
#include <gtest/gtest.h>

#include "testing/virtual_display.h"

#include <signal.h>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

std::string SettingsOfSize(int width, int height, bool fullScreen)
{
    return "[log]\nlogMode=0\n[Graphics]\nwidth=" + std::to_string(width) + "\nheight=" + std::to_string(height) +
           "\nfullscreen=" + (fullScreen ? "1" : "0") + "\n";
}

enum class Ending { kCloseTheWindow, kEscapeInTheWindow, kCtrlC };

struct Case {
    const char* name;
    int width;
    int height;
    Ending ending;
    bool fullScreen = false;
};

void PrintTo(const Case& run, std::ostream* out)
{
    *out << run.name;
}

class WindowProgram : public ::testing::TestWithParam<Case> {};

TEST_P(WindowProgram, OpensItsWindowAtTheBackBufferSizeAndEndsInOrder)
{
    const Case& run = GetParam();
    VirtualDisplay display;
    ZANDREL_NEED_DISPLAY(display);
    ProgramRun program(SettingsOfSize(run.width, run.height, run.fullScreen));
    ASSERT_TRUE(program.Start());

    const auto window = display.WaitForWindow("Zandrel Engine");
    ASSERT_TRUE(window.has_value()) << program.Out() << program.Err();
    const auto geometry = display.GeometryOf(*window);
    const int screen = DefaultScreen(display.X());
    EXPECT_EQ(geometry.width, run.fullScreen ? DisplayWidth(display.X(), screen) : run.width);
    EXPECT_EQ(geometry.height, run.fullScreen ? DisplayHeight(display.X(), screen) : run.height);
    EXPECT_TRUE(geometry.viewable);
    EXPECT_EQ(geometry.x, 0); // where the main window stands
    EXPECT_EQ(geometry.y, 0);

    switch (run.ending) {
    case Ending::kCloseTheWindow:
        display.Close(*window);
        break;
    case Ending::kEscapeInTheWindow:
        display.Focus(*window);
        display.Key(XKeycodeOfScanCode(1), true);
        display.Key(XKeycodeOfScanCode(1), false);
        break;
    case Ending::kCtrlC:
        ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
        program.Signal(SIGINT);
        break;
    }
    ASSERT_EQ(program.Wait(), 0) << program.Out() << program.Err();
    EXPECT_EQ(LinesAmong(program.Out(), ReleaseLines()), ReleaseLines()) << program.Out();
    EXPECT_EQ(Lines(program.Out()).back(), "[dbg] released app");
    EXPECT_EQ(program.Err(), "");
    EXPECT_FALSE(display.FindWindow("Zandrel Engine").has_value());
}

INSTANTIATE_TEST_SUITE_P(Endings, WindowProgram,
                         ::testing::Values(Case{"Close", 320, 200, Ending::kCloseTheWindow},
                                           Case{"CloseSmall", 96, 72, Ending::kCloseTheWindow},
                                           Case{"Escape", 160, 120, Ending::kEscapeInTheWindow},
                                           Case{"CtrlC", 200, 150, Ending::kCtrlC},
                                           Case{"FullScreen", 200, 150, Ending::kCloseTheWindow, true}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
