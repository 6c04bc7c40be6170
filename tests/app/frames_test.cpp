// The running program begins, draws and presents a frame in every cycle of its
// main loop: a run with the frame report on counts the frames its device
// presented, and the frames add nothing to the program's own output.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {
// The count of a "presented N" report, or -1 when there is none.
long long PresentedFrames(const std::string& report)
{
    const std::string prefix = "presented ";
    if (report.rfind(prefix, 0) != 0 || report.empty() || report.back() != '\n')
        return -1;
    return std::stoll(report.substr(prefix.size()));
}
} // namespace

TEST(ProgramFrames, EveryCycleOfTheMainLoopPresentsAFrame)
{
    ProgramRun program("[Graphics]\nwidth=64\nheight=64\nallowInstancing=1\ninstancingBufferSize=64\n");
    const std::string report = (program.Dir() / "frames.txt").string();
    setenv("ZANDREL_FRAME_REPORT", report.c_str(), 1);
    const bool started = program.Start();
    unsetenv("ZANDREL_FRAME_REPORT");
    ASSERT_TRUE(started);
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));

    // The device reports its first presented frame at once.
    const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
    while (!fs::exists(report) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(fs::exists(report)) << program.Out();
    EXPECT_EQ(ReadFile(report), "presented 1\n");

    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();
    // At its release the device reports every frame it presented.
    EXPECT_GE(PresentedFrames(ReadFile(report)), 1) << ReadFile(report);
    const std::string out = program.Out();
    EXPECT_EQ(out.find("Failed to"), std::string::npos) << out;
    EXPECT_EQ(out.find("presented"), std::string::npos) << out;
    EXPECT_EQ(program.Err(), "");
}
