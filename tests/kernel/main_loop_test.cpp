// The built program's main loop is the render thread's loop, with the IO thread
// beside it: Ctrl+C ends it with the threads' lines, then the release lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testing/net_support.h"
#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

std::vector<std::string> Only(const std::string& text, const std::vector<std::string>& wanted)
{
    return LinesAmong(text, wanted);
}

const std::vector<std::string> kThreadLines{
    "[dbg] terminating threads...", "[dbg] terminating thread 0", "closed IOTHREAD",
    "[dbg] TERMINATE 1 1",          "[dbg] terminated",           "[dbg] terminating thread 1",
    "closed RENDERTHREAD",
};

const std::vector<std::string>& kReleaseLines = ReleaseLines();

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(MainLoop, CtrlCStopsTheThreadsThenReleasesInOrder)
{
    ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\n");
    ASSERT_EQ(program.RunUntilCtrlC(), 0) << program.Err();
    const std::string out = program.Out();
    const auto all = Joined(kThreadLines, kReleaseLines);
    const auto seen = Only(out, all);
    // The IO thread prints its own line once stopped, which may come before the
    // render thread's first termination line; everything else is in order.
    const std::string closedIO = "closed IOTHREAD";
    std::vector<std::string> withoutIO;
    for (const auto& line : seen)
        if (line != closedIO)
            withoutIO.push_back(line);
    std::vector<std::string> expected;
    for (const auto& line : all)
        if (line != closedIO)
            expected.push_back(line);
    EXPECT_EQ(withoutIO, expected) << out;

    const auto lines = Lines(out);
    const auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line); };
    ASSERT_NE(at(closedIO), lines.end()) << out;
    EXPECT_LT(at(closedIO), at("[dbg] TERMINATE 1 1"));
    EXPECT_EQ(lines.back(), "[dbg] released app");
}

TEST(MainLoop, LogMode2KeepsTheThreadLinesInTheLog)
{
    ProgramRun program("[log]\nlogMode=2\n[Graphics]\nwidth=320\nheight=200\ninstancingBufferSize=64\n");
    ASSERT_EQ(program.RunUntilCtrlC(), 0) << program.Err();
    const std::string log = program.Log();
    EXPECT_EQ(Only(log, {"closed IOTHREAD"}).size(), 1u) << log;
    EXPECT_EQ(Only(log, {"closed RENDERTHREAD"}).size(), 1u) << log;
    EXPECT_EQ(Only(log, kReleaseLines).size(), 0u) << log;
    EXPECT_EQ(Only(program.Out(), kReleaseLines), kReleaseLines);
}

TEST(MainLoop, WithAsyncTheNetworkThreadRunsSecondAndStopsInItsPlace)
{
    ProgramRun program("[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n[net]\nasync=1\nprotocol=tcp\nport=" +
                       net_test::FreeLoopbackPort() + "\n");
    ASSERT_EQ(program.RunUntilCtrlC(), 0) << program.Err();
    const std::string out = program.Out();
    // Each thread on a thread of its own prints its "closed" line once stopped,
    // possibly before the termination lines start; the rest is in this order.
    const std::vector<std::string> ordered{
        "[dbg] terminating threads...", "[dbg] terminating thread 0", "[dbg] TERMINATE 1 1",
        "[dbg] terminated",             "[dbg] terminating thread 1", "[dbg] TERMINATE 1 1",
        "[dbg] terminated",             "[dbg] terminating thread 2", "closed RENDERTHREAD",
    };
    const std::vector<std::string> kinds{"[dbg] terminating threads...", "[dbg] terminating thread 0",
                                         "[dbg] terminating thread 1",   "[dbg] terminating thread 2",
                                         "[dbg] TERMINATE 1 1",          "[dbg] terminated",
                                         "closed RENDERTHREAD"};
    EXPECT_EQ(Only(out, kinds), ordered) << out;
    EXPECT_EQ(Only(out, {"closed IOTHREAD"}).size(), 1u) << out;
    EXPECT_EQ(Only(out, {"closed NETTHREAD"}).size(), 1u) << out;
    EXPECT_EQ(Only(out, kReleaseLines), kReleaseLines);
}
