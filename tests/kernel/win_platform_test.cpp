#include "kernel/win_platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>
#include <unistd.h>

#include "platform/os/clock.h"
#include "testing/message_box_script.h"
#include "testing/os_hooks.h"
#include "testing/test_files.h"

namespace fs = std::filesystem;

namespace {

using zandrel_test::CoutCapture;

// A fresh folder that is the current directory for the test's life.
struct TempCwd : zandrel_test::TempCwd {
    TempCwd() : zandrel_test::TempCwd("zandrel-platform") {}
};

using zandrel_test::ReadFile;

} // namespace

TEST(WinPlatform, ExeDirCutsAtTheLastSlash)
{
    WinPlatform host;
    {
        platform::testing::ExecutablePathAs path("/opt/zandrel/run/zandrel");
        EXPECT_EQ(host.GetExeDir(), "/opt/zandrel/run");
    }
    {
        platform::testing::ExecutablePathAs path("zandrel");
        EXPECT_EQ(host.GetExeDir(), "zandrel");
    }
    {
        platform::testing::ExecutablePathAs path("C:\\games\\zandrel.exe");
        EXPECT_EQ(host.GetExeDir(), "C:\\games\\zandrel.exe"); // a backslash is no separator here
    }
    {
        platform::testing::ExecutablePathAs path("/zandrel");
        EXPECT_EQ(host.GetExeDir(), "/");
    }
    EXPECT_EQ(host.GetExeDir(), fs::path(host.GetModulePath()).parent_path().string());
    EXPECT_EQ(fs::path(host.GetModulePath()).filename(), "tests_kernel");
}

TEST(WinPlatform, CurrentDirectoryPastTheOldBufferIsWholeAndWarned)
{
    TempCwd temp;
    WinPlatform host;
    {
        CoutCapture out;
        EXPECT_EQ(host.GetCurrentDir(), temp.Dir().string());
        EXPECT_EQ(out.Text(), "");
    }
    fs::path deep = temp.Dir();
    while (deep.string().size() < kPathBufferSize + 10)
        deep /= std::string(200, 'p');
    fs::create_directories(deep);
    ASSERT_TRUE(host.SetCurrentDir(deep.string()));
    CoutCapture out;
    EXPECT_EQ(host.GetCurrentDir(), deep.string());
    EXPECT_EQ(out.Text(), "Not enough space for current directory path!\n");
    EXPECT_FALSE(host.SetCurrentDir((temp.Dir() / "missing").string()));
}

TEST(WinPlatform, SecondsAreTheMillisecondClockPlus1000AndWrap)
{
    EXPECT_DOUBLE_EQ(SecondsFromMilliseconds(0), 1000.0);
    EXPECT_DOUBLE_EQ(SecondsFromMilliseconds(1500), 1001.5);
    EXPECT_DOUBLE_EQ(SecondsFromMilliseconds(0xFFFFFFFFu - 999999u), 0.0);
    EXPECT_DOUBLE_EQ(SecondsFromMilliseconds(0xFFFFFFFFu), 999.999);

    WinPlatform host;
    const double now = host.GetSeconds();
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 4294967.296);
    // Just past the wrap, the clock starts again from zero.
    platform::testing::MillisecondClockBias bias(0u - platform::os::MillisecondClock() - 1000000u);
    EXPECT_LT(host.GetSeconds(), 100.0);
}

TEST(WinPlatform, Sse2FollowsTheProcessor)
{
    WinPlatform host;
    EXPECT_TRUE(host.HasSSE2());
    platform::testing::ProcessorFeaturesAs none(false);
    EXPECT_FALSE(host.HasSSE2());
}

TEST(WinPlatform, RunProcessRunsFromTheCurrentDirectoryAndWaits)
{
    TempCwd temp;
    {
        std::ofstream script(temp.Dir() / "tool.sh");
        script << "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > ran.txt\n";
    }
    fs::permissions(temp.Dir() / "tool.sh", fs::perms::owner_all);
    WinPlatform host;
    platform::testing::ScriptedMessageBoxes boxes;
    CoutCapture out;
    host.RunProcess("/tool.sh", "/T fx \"a b\"");
    const std::string full = temp.Dir().string() + "/tool.sh";
    EXPECT_EQ(out.Text(), "Running " + full + " with params /T fx \"a b\"...\n");
    EXPECT_EQ(ReadFile(temp.Dir() / "ran.txt"), full + "|/T|fx|a b|");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(WinPlatform, MissingProgramShowsTheBoxAndReturns)
{
    TempCwd temp;
    WinPlatform host;
    platform::testing::ScriptedMessageBoxes boxes;
    CoutCapture out;
    host.RunProcess("/tools/fxc.exe", "x");
    EXPECT_EQ(out.Text(), "Running " + temp.Dir().string() + "/tools/fxc.exe with params x...\n");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Error creating process /tools/fxc.exe\n"));
}

TEST(WinPlatform, LibrariesLoadOrReportWhyNot)
{
    WinPlatform host;
    platform::testing::ScriptedMessageBoxes boxes;
    void* zlib = host.LoadDll("libz.so.1");
    ASSERT_NE(zlib, nullptr);
    EXPECT_NE(host.GetDllFunction(zlib, "zlibVersion"), nullptr);
    EXPECT_EQ(host.GetDllFunction(zlib, "missing"), nullptr);
    host.UnloadDll(zlib);
    EXPECT_TRUE(boxes.Shown().empty());

    EXPECT_EQ(host.LoadDll("nvapi.dll"), nullptr);
    host.UnloadDll(nullptr);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't load DLL: nvapi.dll\n"));
    EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("Can't unload DLL.\n"));
}

// Seconds become whole milliseconds, truncated; nothing to wait for asks for
// no sleep at all, and a wait past the 32-bit range stops at its end.
TEST(WinPlatform, SleepTakesWholeMilliseconds)
{
    struct Case {
        float seconds;
        std::vector<uint32_t> requests;
    };
    const Case cases[] = {
        {0.002f, {2}},
        {2.5f, {2500}},
        {0.0019f, {1}},
        {0.0009f, {}},
        {0.0f, {}},
        {-3.0f, {}},
        {std::nanf(""), {}},
        {1e12f, {0xFFFFFFFFu}},
    };
    WinPlatform host;
    for (const Case& c : cases) {
        platform::testing::RecordedSleeps sleeps;
        host.SleepSeconds(c.seconds);
        EXPECT_EQ(sleeps.Requests(), c.requests) << c.seconds;
    }
}

TEST(Platform, BaseDefaultsAreHarmless)
{
    Platform base;
    EXPECT_EQ(base.GetCurrentDir(), "");
    EXPECT_EQ(base.GetExeDir(), "");
    EXPECT_EQ(base.GetSeconds(), 1.0);
    EXPECT_TRUE(base.HasSSE2());
    EXPECT_EQ(base.LoadDll("x"), nullptr);
    EXPECT_EQ(base.GetModulePath(), "");
    EXPECT_FALSE(base.pauseFrames);
}
