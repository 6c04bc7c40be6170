// Under bounds on its address space, closed by Ctrl+C after a few seconds, the
// program ends with exit code 0 or 1, never by a signal nor with "terminate
// called"; memory that runs short where no error box names it is its last line.
#include <gtest/gtest.h>

#include <list>
#include <regex>

#include "tests/support/program_run.h"

using namespace zandrel_test;

TEST(AddressSpaceBounds, EveryEndIsAnExitCodeAndAShortageTheLastLine)
{
#if ZANDREL_SANITIZE || ZANDREL_TSAN
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit an address-space bound";
#endif
    // Headless, with the run folder's settings, on 8 processors these run short
    // of: a render target (a box), the task queues, a thread (a box), nothing,
    // the first frame's shaders.
    std::list<ProgramRun> runs;
    for (int megabytes : {250, 320, 350, 400, 730}) {
        ProgramRun& program = runs.emplace_back(ReadFile(fs::path(ZANDREL_RUN_DIR) / "settings.ini"));
        const std::string bound = "ulimit -v " + std::to_string(megabytes << 10) + " && exec \"$0\"";
        ASSERT_TRUE(program.Start({}, {"/bin/sh", "-c", bound}));
    }
    std::this_thread::sleep_for(std::chrono::seconds(3)); // for the first frames
    const std::regex shortage("Out of memory( for [a-z ]+)?: the program ends\\.");
    int shortages = 0;
    for (ProgramRun& program : runs) {
        program.Signal(SIGINT);
        const int code = program.Wait();
        const std::string all = program.Out() + program.Err();
        EXPECT_TRUE((code == 0 || code == 1) && all.find("terminate called") == std::string::npos) << all;
        const auto lines = Lines(program.Err());
        const bool said = !lines.empty() && std::regex_match(lines.back(), shortage);
        shortages += said;
        EXPECT_TRUE(!said || code == 1) << all;
    }
    EXPECT_GE(shortages, 1) << "no bound ran short where no box names it";
}
