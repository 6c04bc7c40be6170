// The graphics environment variables as a person sets them when starting the
// program from a folder of their own: an unknown mode is named with the ones
// there are, a relative capture path is taken from that folder, and a
// program that only records says it has nothing to capture.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "tests/support/program_run.h"

using namespace zandrel_test;

TEST(GraphicsEnvironment, UnknownModeIsNamedAndRelativeCaptureLandsWhereTheProgramStarted)
{
    struct Case {
        const char* mode;
        const char* said;
        bool draws;
    } cases[] = {
        {"bogus", "Graphics: ZANDREL_GFX=bogus is not a mode (raster draws, record only records)", true},
        {"record", "Graphics: frames are recorded, not drawn: ZANDREL_CAPTURE gets no picture.", false},
    };
    for (const Case& c : cases) {
        ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\n");
        TempCwd start("zandrel-start");
        setenv("ZANDREL_GFX", c.mode, 1);
        setenv("ZANDREL_CAPTURE", "shot.png", 1);
        const bool started = program.Start();
        unsetenv("ZANDREL_GFX");
        unsetenv("ZANDREL_CAPTURE");
        ASSERT_TRUE(started);
        ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
        const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
        while (c.draws && !fs::exists(start.Path("shot.png")) && program.Out().find("not drawn") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        program.Signal(SIGINT);
        ASSERT_EQ(program.Wait(), 0) << program.Err();

        const std::string out = program.Out();
        EXPECT_NE(out.find(c.said), std::string::npos) << c.mode << "\n" << out;
        const bool drew = out.find("frames are recorded, not drawn") == std::string::npos;
        EXPECT_EQ(fs::exists(start.Path("shot.png")), drew) << c.mode;
        EXPECT_FALSE(fs::exists(program.Dir() / "shot.png")) << c.mode;
    }
}
