// The program runs its demonstration as a person would see it: started in a
// folder with its data, it bakes, loads and sets up (the start-up's lines, in
// their order and no error among them), then draws and presents a frame in
// every cycle until Ctrl+C ends it in its normal order. With an empty
// compiled-effect cache it compiles each effect as it first loads it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

constexpr const char* kSettings = "[log]\nlogMode=0\n[Graphics]\nwidth=1280\nheight=720\nvsync=1\n"
                                  "allowInstancing=1\ninstancingBufferSize=1024\n";

// The count of a "presented N" report, or -1 when there is none.
long long PresentedFrames(const fs::path& report)
{
    const std::string text = ReadFile(report);
    const std::string prefix = "presented ";
    if (text.rfind(prefix, 0) != 0 || text.back() != '\n')
        return -1;
    return std::stoll(text.substr(prefix.size()));
}

// The start-up's own lines, in order, as the demonstration prints them.
std::vector<std::string> StartUpLines(bool coldCache)
{
    std::vector<std::string> lines = {"Time object created.", "Time object created.", "Generating samples...",
                                      "Projecting to SH...", "Baked:"};
    for (const char* number : {"0.399249", "-0.210748", "0.286867", "0.282772", "-0.315302", "-0.00039827",
                               "0.131591", "0.000976627", "0.0935849", "-0.249934", "-0.000720488", "0.122896",
                               "0.304576", "-0.164276", "-0.000615385", "-0.0912652"})
        lines.push_back(number);
    auto compiling = [&](const char* effect) {
        if (coldCache)
            lines.push_back(std::string("Compiling shader ") + effect + "...");
    };
    compiling("shadowDemo");
    compiling("shadowSafeGrid");
    for (int i = 0; i < 14; ++i)
        lines.push_back("RenderTexture created.");
    const char* posts[] = {"blurQuad_diff", "genSAT", "doSAT", nullptr, nullptr, nullptr, "deSAT", "post_diff", nullptr};
    for (const char* post : posts) {
        if (post)
            compiling(post);
        lines.push_back("Quad created.");
    }
    lines.push_back("Allocating instancing buffers for 0.0625 MB");
    return lines;
}

// The lines of `out` that are start-up lines or compiler runs' reports,
// without the compiler's command lines.
std::vector<std::string> PickStartUpLines(const std::string& out)
{
    std::vector<std::string> picked;
    bool started = false;
    for (const std::string& line : Lines(out)) {
        if (line == "Time object created.")
            started = true;
        // A thread's "closed" line may come as soon as it is told to stop,
        // before the render thread's termination lines.
        if (!started || line.rfind("Running ", 0) == 0 || line.rfind("closed ", 0) == 0)
            continue;
        if (line.rfind("[dbg]", 0) == 0)
            break;
        picked.push_back(line);
    }
    return picked;
}

void RunAndCheck(ProgramRun& program, bool coldCache)
{
    const fs::path report = program.Dir() / "frames.txt";
    // Recorded, not drawn: the picture has a test of its own, and recording
    // keeps the frames quick on any machine.
    const char* mode = std::getenv("ZANDREL_GFX");
    const std::string savedMode = mode ? mode : "";
    setenv("ZANDREL_GFX", "record", 1);
    setenv("ZANDREL_FRAME_REPORT", report.string().c_str(), 1);
    const bool started = program.Start();
    unsetenv("ZANDREL_FRAME_REPORT");
    if (mode)
        setenv("ZANDREL_GFX", savedMode.c_str(), 1);
    else
        unsetenv("ZANDREL_GFX");
    ASSERT_TRUE(started);
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT)) << program.Out() << program.Err();
    // Past its start-up it presents frame after frame.
    const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
    while (PresentedFrames(report) < 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(PresentedFrames(report), 1) << program.Out() << program.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Out() << program.Err();
    EXPECT_EQ(program.Err(), "");
    const std::string out = program.Out();
    EXPECT_EQ(PickStartUpLines(out), StartUpLines(coldCache)) << out;
    for (const char* trouble : {"Failed", "Can't", "failed", "error", "left out", "not found"})
        EXPECT_EQ(out.find(trouble), std::string::npos) << trouble << "\n" << out;
    // Every frame it presented is counted at the device's release; more than
    // one went by in the half second it ran on.
    EXPECT_GT(PresentedFrames(report), 1) << ReadFile(report);
    // And it ended in its normal order.
    EXPECT_EQ(LinesAmong(out, ReleaseLines()), ReleaseLines());
}

} // namespace

TEST(DemoProgram, BakesLoadsAndDrawsEveryCycleUntilCtrlC)
{
    ProgramRun program(kSettings);
    RunAndCheck(program, false);
}

TEST(DemoProgram, AnEmptyEffectCacheIsFilledAsEachEffectFirstLoads)
{
    ProgramRun program(kSettings);
    fs::remove_all(program.Dir() / "compiledshaders");
    fs::create_directories(program.Dir() / "compiledshaders");
    RunAndCheck(program, true);
    for (const char* effect : {"shadowDemo", "shadowSafeGrid", "blurQuad_diff", "genSAT", "doSAT", "deSAT",
                               "post_diff"})
        EXPECT_TRUE(fs::exists(program.Dir() / "compiledshaders" / (std::string(effect) + ".fxo"))) << effect;
}
