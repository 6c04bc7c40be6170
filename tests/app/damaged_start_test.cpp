// The program started in a damaged run folder: it ends with the box that names
// the cause (on standard error with exit code 1, no terminal answering it), or
// runs on, says what it left out and ends in order on Ctrl+C, even while the
// start-up waits on an effect compiler that never ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <functional>

#include "tests/support/program_run.h"

using namespace zandrel_test;

TEST(DamagedStart, EachCauseIsNamedAndCtrlCEndsInOrderAtAnyStep)
{
    const std::string runs = "[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n";
    const fs::path scene = "data/shadowDemo.ids";
    const auto pipe = [](const fs::path& path) { fs::remove(path), mkfifo(path.c_str(), 0644); };
    std::string junk(5000, '\0');
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>(i * i * 2654435761u >> 13);
    const struct Case {
        std::string settings;
        std::function<void(const fs::path& dir)> damage;
        int exitCode;     // 0: it runs on until Ctrl+C
        std::string said; // on standard output or error
    } cases[] = {
        {"[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=2000000000\n", nullptr, 1,
         "[Graphics] instancingBufferSize=2000000000 is out of range: 0 to 65536 instances."},
        {runs + "[mem]\npool16384=99999\n", nullptr, 1, "[mem] pool16384=99999 is out of range: 0 to 16384 blocks."},
        {"[Graphics]\nwidth=64\nheight=64\n", nullptr, 1,
         "staticHeapVector overflow.\nAn instance list holds [Graphics] instancingBufferSize=0 instances"},
        {"[Graphics]\nwidth=66336\n", nullptr, 1,
         "Invalid call\n[Graphics] width=66336 is no back-buffer size: 1 to 16384 pixels.\n[Graphics] height (not set)"},
        {runs, [&](const fs::path& dir) { fs::resize_file(dir / scene, fs::file_size(dir / scene) / 2); }, 1,
         " refused.\nWhile reading data/shadowDemo.ids.\n"},
        {runs, [&](const fs::path& dir) { WriteFile(dir / scene, junk); }, 1, "\nWhile reading data/shadowDemo.ids.\n"},
        {runs, [&](const fs::path& dir) { pipe(dir / scene); }, 1,
         "File data/shadowDemo.ids is not a regular file (a folder, pipe or device), not read\n"},
        {"[log]\nlogMode=2\n" + runs, [](const fs::path& dir) { fs::create_directory(dir / "log.txt"); }, 0,
         "log.txt cannot be written (it is not a regular file): the log stays on standard output.\n"},
        {runs + "[FileSystem]\narchives=1\narchive0=pipe.zip\n", [&](const fs::path& dir) { pipe(dir / "pipe.zip"); },
         0, "PhysFS error: pipe.zip is neither a folder nor a regular file, not read\n"},
        {runs,
         [](const fs::path& dir) {
             WriteFile(dir / "tools/fxc.exe", "#!/bin/sh\necho $$ > fxc.pid\nexec sleep 1000\n");
             fs::remove(dir / "compiledshaders/shadowDemo.fxo");
         },
         0, "/tools/fxc.exe was ended: the program is closing.\n"},
    };
    for (const Case& c : cases) {
        ProgramRun program(c.settings);
        if (c.damage)
            c.damage(program.Dir());
        ASSERT_TRUE(program.Start());
        // The compiler case is closed while the start-up waits for it.
        const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
        while (c.said.find("fxc") != std::string::npos && ReadFile(program.Dir() / "fxc.pid").empty() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (c.exitCode == 0 && program.WaitUntilItCatches(SIGINT))
            program.Signal(SIGINT);
        EXPECT_EQ(program.Wait(), c.exitCode) << c.said << program.Err();
        EXPECT_NE((program.Out() + program.Err()).find(c.said), std::string::npos) << c.said << "\n" << program.Err();
        EXPECT_TRUE(c.exitCode != 0 || LinesAmong(program.Out(), ReleaseLines()) == ReleaseLines()) << c.said;
    }
}
