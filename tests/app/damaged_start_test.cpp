// The program started in a damaged run folder. Each case either ends with the
// box that names its cause (on standard error with exit code 1, since no
// terminal answers it), or runs on, says what it left out, and ends in order
// on Ctrl+C, even while start-up waits on an effect compiler that never ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <functional>
#include <random>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

const std::string kRuns = "[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n";

struct Case {
    std::string settings;
    std::function<void(const fs::path& dir)> damage;
    std::string said;    // in standard output or error
    std::string waitFor; // a file the run makes, before Ctrl+C
};

void Pipe(const fs::path& path)
{
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
}

void StartDamaged(ProgramRun& program, const Case& c)
{
    if (c.damage)
        c.damage(program.Dir());
    ASSERT_TRUE(program.Start());
}

bool Says(const std::string& said, const std::string& text)
{
    return said.find(text) != std::string::npos;
}

// The same bytes of no meaning on every run.
std::string Junk(size_t size)
{
    std::minstd_rand random(28);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

} // namespace

TEST(DamagedStart, TheBoxThatEndsTheRunNamesTheSettingOrFile)
{
    const fs::path scene = "data/shadowDemo.ids";
    const Case cases[] = {
        {"[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=2000000000\n", nullptr,
         "[Graphics] instancingBufferSize=2000000000 is out of range: 0 to 65536 instances."},
        {kRuns + "[mem]\npool16384=99999\n", nullptr, "[mem] pool16384=99999 is out of range: 0 to 16384 blocks."},
        {"[Graphics]\nwidth=64\nheight=64\n", nullptr,
         "staticHeapVector overflow.\nAn instance list holds [Graphics] instancingBufferSize=0 instances"},
        {"[Graphics]\nwidth=66336\n", nullptr,
         "Can't create Direct3D device: Invalid call\n[Graphics] width=66336 is no back-buffer size: 1 to 16384 "
         "pixels.\n[Graphics] height (not set) is no back-buffer size"},
        {kRuns, [&](const fs::path& dir) { fs::resize_file(dir / scene, fs::file_size(dir / scene) / 2); },
         "\nWhile reading data/shadowDemo.ids.\n"},
        {kRuns, [&](const fs::path& dir) { WriteFile(dir / scene, Junk(5000)); }, "data/shadowDemo.ids"},
        {kRuns, [&](const fs::path& dir) { Pipe(dir / scene); }, "Can't load file: data/shadowDemo.ids"},
        {kRuns, [&](const fs::path& dir) { fs::remove(dir / scene), fs::create_directory(dir / scene); },
         "Can't load file: data/shadowDemo.ids"},
    };
    for (const Case& c : cases) {
        ProgramRun program(c.settings);
        StartDamaged(program, c);
        EXPECT_EQ(program.Wait(), 1) << c.said;
        EXPECT_TRUE(Says(program.Err(), c.said)) << c.said << "\n" << program.Err();
    }
}

TEST(DamagedStart, WhatIsLeftOutIsSaidAndCtrlCEndsInOrderAtAnyStep)
{
    const auto neverEnds = [](const fs::path& dir) {
        WriteFile(dir / "tools/fxc.exe", "#!/bin/sh\necho $$ > fxc.pid\nexec sleep 1000\n");
        fs::remove_all(dir / "compiledshaders");
        fs::create_directory(dir / "compiledshaders");
    };
    const Case cases[] = {
        {"[log]\nlogMode=2\n" + kRuns, [](const fs::path& dir) { fs::create_directory(dir / "log.txt"); },
         "log.txt cannot be written (it is not a regular file): the log stays on standard output.\n"},
        {"[log]\nlogMode=2\n" + kRuns, [](const fs::path& dir) { Pipe(dir / "log.txt"); }, "closed RENDERTHREAD"},
        {kRuns + "[FileSystem]\narchives=1\narchive0=pipe.zip\n", [](const fs::path& dir) { Pipe(dir / "pipe.zip"); },
         "PhysFS error: pipe.zip is neither a folder nor a regular file, not read\n"},
        {kRuns, neverEnds, "/tools/fxc.exe was ended: the program is closing.\n", "fxc.pid"},
    };
    for (const Case& c : cases) {
        ProgramRun program(c.settings);
        StartDamaged(program, c);
        const fs::path made = program.Dir() / c.waitFor;
        const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
        while (!c.waitFor.empty() && ReadFile(made).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
        program.Signal(SIGINT);
        EXPECT_EQ(program.Wait(), 0) << c.said << program.Err();
        EXPECT_TRUE(Says(program.Out() + program.Err(), c.said)) << c.said << "\n" << program.Out();
        EXPECT_EQ(LinesAmong(program.Out(), ReleaseLines()), ReleaseLines()) << c.said;
        if (const std::string pid = c.waitFor.empty() ? "" : ReadFile(made); !pid.empty()) {
            EXPECT_NE(kill(std::stoi(pid), 0), 0) << "the compiler is left running";
        }
    }
}
