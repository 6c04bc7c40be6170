// Runs the built program in a temporary folder, as a person would, and checks
// its log, its exit code and the order of its release lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

const std::vector<std::string>& kReleaseLines = ReleaseLines();

// The script engine's pools announce each chunk they take ("malloc " and the
// byte count, no line end) before the first line of the run.
std::string WithoutPoolAnnouncements(std::string text)
{
    while (text.rfind("malloc ", 0) == 0) {
        const std::size_t digits = text.find_first_not_of("0123456789", 7);
        text.erase(0, digits == std::string::npos ? text.size() : digits);
    }
    return text;
}

std::vector<std::string> ReleaseLinesOf(const std::string& text)
{
    return LinesAmong(text, kReleaseLines);
}

bool IsHandleLine(const std::string& line)
{
    return line.size() > 2 && line.rfind("0x", 0) == 0 &&
           line.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

using Program = ProgramRun;

} // namespace

TEST(Program, LogMode0KeepsNoLogAndCtrlCEndsInOrder)
{
    Program program;
    program.Settings("[log]\nlogMode=0\n[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\n");
    std::ofstream(program.Dir() / "log.txt") << "stale text\n";
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();

    EXPECT_TRUE(fs::exists(program.Dir() / "log.txt"));
    EXPECT_EQ(program.Log(), ""); // emptied at start, written to by nobody
    const auto lines = Lines(WithoutPoolAnnouncements(program.Out()));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Settings.ini loaded");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), IsHandleLine), 1);
    EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
    EXPECT_EQ(lines.back(), "[dbg] released app");
    EXPECT_EQ(program.Err(), "");
}

TEST(Program, LogMode2SendsTheRunningLinesToLogTxt)
{
    Program program;
    program.Settings("[log]\nlogMode=2\n[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\n");
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();

    const auto logLines = Lines(program.Log());
    EXPECT_EQ(std::count_if(logLines.begin(), logLines.end(), IsHandleLine), 1);
    EXPECT_TRUE(ReleaseLinesOf(program.Log()).empty());
    EXPECT_EQ(std::count(logLines.begin(), logLines.end(), "Settings.ini loaded"), 0);
    const auto mounted = [](const std::string& line) {
        return line.size() > 9 && line.compare(line.size() - 9, 9, " mounted.") == 0;
    };
    EXPECT_EQ(std::count_if(logLines.begin(), logLines.end(), mounted), 1) << program.Log();
    EXPECT_EQ(std::count(logLines.begin(), logLines.end(), "closed RENDERTHREAD"), 1) << program.Log();

    const auto outLines = Lines(WithoutPoolAnnouncements(program.Out()));
    ASSERT_FALSE(outLines.empty());
    EXPECT_EQ(outLines[0], "Settings.ini loaded");
    EXPECT_EQ(std::count_if(outLines.begin(), outLines.end(), IsHandleLine), 0);
    EXPECT_EQ(std::count_if(outLines.begin(), outLines.end(), mounted), 0);
    EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
}

TEST(Program, LogMode1WritesStraightToTheTerminalStandIn)
{
    Program program;
    program.Settings("[log]\nlogMode=1\n[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\n");
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();
    const auto lines = Lines(program.Out());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), IsHandleLine), 1);
    EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
    EXPECT_EQ(program.Log(), "");
}

class ProgramSignal : public ::testing::TestWithParam<int> {};

TEST_P(ProgramSignal, ClosesTheWindowAndEndsInOrder)
{
    Program program;
    program.Settings("[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n");
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilItCatches(GetParam()));
    program.Signal(GetParam());
    ASSERT_EQ(program.Wait(), 0) << program.Err();
    EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(Program, MissingSettingsWithoutATerminalEndsWithCode1AndSaysWhy)
{
    Program program;
    ASSERT_TRUE(program.Start());
    ASSERT_EQ(program.Wait(), 1);
    const std::string err = program.Err();
    EXPECT_NE(err.find("Zandrel Engine - error"), std::string::npos) << err;
    EXPECT_NE(err.find("Settings.ini not found."), std::string::npos) << err;
    EXPECT_TRUE(ReleaseLinesOf(program.Out()).empty());
    EXPECT_FALSE(fs::exists(program.Dir() / "log.txt"));
}

TEST(Program, MakesTheDeviceAtStartAndReleasesItBeforeTheTaskQueues)
{
    Program program;
    program.Settings("[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\nvsync=1\n");
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();

    const std::vector<std::string> wanted{
        "Support for chosen antialiasing mode: OK",
        "Support for dynamic textures: OK",
        "Support for stretching from textures: OK",
        "Support for Vertex Shader Model 3.0: OK",
        "Support for Pixel Shader Model 3.0: OK",
        "Support for GPU queries: OK",
        "!D3D9Device released",
        "D3D9 released",
        "[dbg] release tm start",
    };
    std::vector<std::string> seen;
    std::vector<std::string> handles;
    for (const auto& line : Lines(program.Out())) {
        if (std::find(wanted.begin(), wanted.end(), line) != wanted.end())
            seen.push_back(line);
        if (line.rfind("Direct3D9 handle: 0x", 0) == 0 || line.rfind("D3D9Device Handle: 0x", 0) == 0)
            handles.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(seen, wanted) << program.Out();
    EXPECT_EQ(handles, (std::vector<std::string>{"Direct3D9 handle", "D3D9Device Handle"})) << program.Out();
    EXPECT_EQ(program.Err(), "");
}

TEST(Program, WithoutABackBufferSizeTheDeviceFailsAndSaysWhy)
{
    Program program;
    program.Settings("[log]\nlogMode=0\n");
    ASSERT_TRUE(program.Start());
    ASSERT_EQ(program.Wait(), 1); // no terminal to answer the box
    const std::string err = program.Err();
    EXPECT_NE(err.find("Can't create Direct3D device: Invalid call"), std::string::npos) << err;
    EXPECT_EQ(program.Out().find("D3D9Device Handle"), std::string::npos);
}

TEST(Program, TheDemoClockSpansTheMainLoopAndWithoutAsyncTwoThreadsRun)
{
    Program program("[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n");
    ASSERT_EQ(program.RunUntilCtrlC(), 0) << program.Err();
    const auto lines = Lines(WithoutPoolAnnouncements(program.Out()));
    const auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line); };

    // Made after the window (step 10), released after the render loop ended
    // and before anything of the release order.
    const auto handle = std::find_if(lines.begin(), lines.end(), IsHandleLine);
    const auto created = at("Time object created.");
    ASSERT_NE(handle, lines.end());
    ASSERT_NE(created, lines.end());
    EXPECT_LT(handle, created);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Time object created."), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Time object released."), 1);
    EXPECT_LT(at("closed RENDERTHREAD"), at("Time object released."));
    EXPECT_LT(at("Time object released."), at("[dbg] release tm start"));

    std::vector<std::string> terminating;
    for (const auto& line : lines)
        if (line.rfind("[dbg] terminating thread ", 0) == 0)
            terminating.push_back(line);
    EXPECT_EQ(terminating, (std::vector<std::string>{"[dbg] terminating thread 0", "[dbg] terminating thread 1"}));
    EXPECT_EQ(at("closed NETTHREAD"), lines.end());
}

TEST(Program, DrawsByDefaultAndWithoutOpenGl45SaysSoOnceAndRecords)
{
    struct Case {
        const char* variable;
        const char* value;
        size_t graphicsLines;
    } cases[] = {
        {"ZANDREL_GFX", "raster", 0},
        {"ZANDREL_GFX", "record", 0},
        // The driver offering too old a version stands for a machine without OpenGL 4.5.
        {"MESA_GL_VERSION_OVERRIDE", "3.3", 1},
    };
    for (const Case& c : cases) {
        Program program;
        program.Settings("[log]\nlogMode=0\n[Graphics]\nwidth=320\nheight=200\n");
        setenv(c.variable, c.value, 1);
        const bool started = program.Start();
        unsetenv(c.variable);
        ASSERT_TRUE(started);
        ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
        program.Signal(SIGINT);
        ASSERT_EQ(program.Wait(), 0) << program.Err();
        size_t graphics = 0;
        for (const auto& line : Lines(program.Out()))
            if (line.rfind("Graphics: ", 0) == 0) {
                ++graphics;
                EXPECT_NE(line.find("frames are recorded, not drawn"), std::string::npos) << line;
            }
        EXPECT_EQ(graphics, c.graphicsLines) << c.variable << "=" << c.value << "\n" << program.Out();
        EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
    }
}
