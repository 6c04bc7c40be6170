#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

#include "platform/os/address_space.h"
#include "platform/os/aligned_memory.h"
#include "platform/os/clock.h"
#include "platform/os/cpu.h"
#include "platform/os/dynamic_library.h"
#include "platform/os/file_replace.h"
#include "platform/os/paths.h"
#include "platform/os/process.h"
#include "platform/os/random.h"
#include "testing/os_hooks.h"
#include "testing/process_watch.h"
#include "testing/test_files.h"
#include "testing/unnamed_files_refused.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

fs::path MakeTempDir()
{
    return zandrel_test::MakeTempDir("zandrel-os");
}

using zandrel_test::ReadFile;

using Args = std::vector<std::string>;

} // namespace

TEST(CommandLine, SplitsLikeAWindowsCommandLine)
{
    EXPECT_EQ(os::SplitCommandLine(""), Args{});
    EXPECT_EQ(os::SplitCommandLine("  \t "), Args{});
    EXPECT_EQ(os::SplitCommandLine("a  b\tc"), (Args{"a", "b", "c"}));
    EXPECT_EQ(os::SplitCommandLine("\"abc\" d e"), (Args{"abc", "d", "e"}));
    EXPECT_EQ(os::SplitCommandLine(R"(a\\b d"e f"g h)"), (Args{R"(a\\b)", "de fg", "h"}));
    EXPECT_EQ(os::SplitCommandLine(R"(a\\\"b c d)"), (Args{R"(a\"b)", "c", "d"}));
    EXPECT_EQ(os::SplitCommandLine(R"(a\\\\"b c" d e)"), (Args{R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(os::SplitCommandLine(R"("a ""b"" c")"), (Args{R"(a "b" c)"}));
    EXPECT_EQ(os::SplitCommandLine(R"("" x)"), (Args{"", "x"}));
    EXPECT_EQ(os::SplitCommandLine("/T fx_2_0 /Fo \"C:\\cache dir\\out.fxo\" in.fx"),
              (Args{"/T", "fx_2_0", "/Fo", "C:\\cache dir\\out.fxo", "in.fx"}));
    EXPECT_EQ(os::SplitCommandLine("'a b'"), (Args{"'a", "b'"}));
    EXPECT_EQ(os::SplitCommandLine("\"unterminated arg"), (Args{"unterminated arg"}));
}

TEST(Process, ChildGetsItsOwnPathFirstThenTheSplitParameters)
{
    const fs::path dir = MakeTempDir();
    // sh prints its own argument vector (NUL-separated in /proc) into the working folder.
    const auto result = os::RunProgram("/bin/sh",
                                       R"(-c "tr '\0' '|' < /proc/$$/cmdline > args.txt" "two words" x)",
                                       dir.string());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "args.txt"), "/bin/sh|-c|tr '\\0' '|' < /proc/$$/cmdline > args.txt|two words|x|");
    fs::remove_all(dir);
}

TEST(Process, NoShellInterpretsTheParameters)
{
    const fs::path dir = MakeTempDir();
    const auto result = os::RunProgram("/bin/echo", "a; touch pwned && touch pwned2 `touch pwned3`", dir.string());
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_FALSE(fs::exists(dir / "pwned2"));
    EXPECT_FALSE(fs::exists(dir / "pwned3"));
    fs::remove_all(dir);
}

TEST(Process, WaitsAndReportsTheExitCode)
{
    const fs::path dir = MakeTempDir();
    auto result = os::RunProgram("/bin/sh", "-c \"sleep 0.05; echo done > done.txt; exit 7\"", dir.string());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 7);
    EXPECT_EQ(ReadFile(dir / "done.txt"), "done\n"); // written before RunProgram returned
    fs::remove_all(dir);
}

TEST(Process, APieceRunInAChildHandsBackWhatItWroteWhicheverWayItEnds)
{
    auto write = [](int out, const std::string& text) {
        for (size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(out, text.data() + done, text.size() - done);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    };
    const std::string big(1 << 20, 'x'); // many times a pipe's buffer
    struct Case {
        std::function<void(int)> work;
        std::string answer;
        int exitCode;
        int signal;
        bool timedOut;
    } cases[] = {
        {[&](int out) { write(out, big); }, big, 0, 0, false},
        {[&](int out) { write(out, "partial"); ::raise(SIGSEGV); }, "partial", 128 + SIGSEGV, SIGSEGV, false},
        {[&](int out) { write(out, "thrown"); throw std::runtime_error("x"); }, "thrown", 70, 0, false},
        {[&](int out) { write(out, "late"); for (;;) ::pause(); }, "late", 128 + SIGKILL, SIGKILL, true},
    };
    for (const Case& c : cases) {
        std::string answer;
        const auto result = os::RunInChildProcess(c.work, answer, {0.3});
        ASSERT_TRUE(result.started);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.signal, c.signal);
        EXPECT_EQ(result.timedOut, c.timedOut);
    }
    // A stop request once it runs ends the wait, and the child with it.
    std::string answer;
    const auto stopped = os::RunInChildProcess([](int) { for (;;) ::pause(); }, answer,
                                               {0, [asked = 0]() mutable { return ++asked > 1; }});
    EXPECT_TRUE(stopped.started);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.signal, SIGKILL);
    EXPECT_EQ(os::SignalText(SIGSEGV), "signal 11 (Segmentation fault)");
}

TEST(Process, AProgramEndsWithTheProcessThatRanIt)
{
    // The caller of a long `sleep` (sh, which says its pid, then becomes it) is killed.
    const fs::path dir = MakeTempDir();
    const pid_t caller = ::fork();
    if (caller == 0)
        ::_exit(os::RunProgram("/bin/sh", "-c \"echo $$ > pid; exec sleep 600\"", dir.string()).exitCode);
    pid_t program = 0;
    for (int i = 0; i < 3000 && program == 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        program = std::atoi(ReadFile(dir / "pid").c_str());
    ::kill(caller, SIGKILL);
    ::waitpid(caller, nullptr, 0);
    ASSERT_GT(program, 0);
    EXPECT_TRUE(zandrel_test::EndsWithin(program, std::chrono::seconds(30)));
    fs::remove_all(dir);
}

TEST(Process, AProgramWhoseCallerEndedBeforeItStartedIsNeverRun)
{
    // The copy that is to run the program waits in a fork handler, before its
    // first steps, until its caller is killed: its caller's end is then past.
    const fs::path dir = MakeTempDir();
    int told[2];
    ASSERT_EQ(::pipe(told), 0);
    const pid_t caller = ::fork();
    if (caller == 0) {
        static const int tell = told[1];
        static const pid_t self = ::getpid();
        ::pthread_atfork(nullptr, nullptr, [] {
            const pid_t copy = ::getpid();
            for ((void)!::write(tell, &copy, sizeof copy); ::getppid() == self;)
                ::usleep(1000);
        });
        ::_exit(os::RunProgram("/bin/sh", "-c \"touch ran; exec sleep 600\"", dir.string()).exitCode);
    }
    ::close(told[1]);
    pid_t copy = 0;
    const bool toldCopy = ::read(told[0], &copy, sizeof copy) == static_cast<ssize_t>(sizeof copy);
    ::kill(caller, SIGKILL);
    ::waitpid(caller, nullptr, 0);
    ASSERT_TRUE(toldCopy);
    EXPECT_TRUE(zandrel_test::EndsWithin(copy, std::chrono::seconds(30)));
    if (fs::exists(dir / "ran"))
        ::kill(-copy, SIGKILL); // sh became sleep, in the copy's group
    EXPECT_FALSE(fs::exists(dir / "ran"));
    ::close(told[0]);
    fs::remove_all(dir);
}

TEST(Process, ASanitizerReportInACopyFailsTheCaller)
{
#if ZANDREL_SANITIZE
    // A sanitizer's report is this program's fault: it fails the caller as it
    // would have failed the copy (a signal stays the copy's end, as above).
    std::string answer;
    auto overflow = [](int) { std::vector<int> four(4); (void)*static_cast<volatile int*>(four.data() + 4); };
    EXPECT_DEATH(os::RunInChildProcess(overflow, answer), "A copy of this process made a sanitizer report");
#else
    GTEST_SKIP() << "only a sanitized build reports";
#endif
}

TEST(Process, MissingProgramIsNotStarted)
{
    const auto result = os::RunProgram("/nonexistent/tools/fxc.exe", "a b", "");
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.error, ENOENT);
}

TEST(Clock, MillisecondClockWrapsIn32Bits)
{
    const uint32_t before = os::MillisecondClock();
    {
        platform::testing::MillisecondClockBias bias(0xFFFFFFFFu - before);
        // Now a little before or just past the wrap.
        const uint32_t near = os::MillisecondClock();
        EXPECT_TRUE(near >= 0xFFFF0000u || near < 0x10000u) << near;
    }
}

TEST(Clock, ProcessClockCountsMillisecondsFromStart)
{
    EXPECT_EQ(os::kClockTicksPerSecond, 1000);
    const long first = os::ProcessClock();
    EXPECT_GE(first, 0);
    os::SleepMilliseconds(20);
    EXPECT_GE(os::ProcessClock() - first, 20);
}

TEST(Random, MatchesTheSystemSequenceOnEveryThread)
{
    platform::testing::RestartRand();
    const std::vector<int> expected{41, 18467, 6334, 26500, 19169};
    std::vector<int> got;
    for (size_t i = 0; i < expected.size(); ++i)
        got.push_back(os::Rand());
    EXPECT_EQ(got, expected);

    std::vector<int> other;
    std::thread([&] {
        for (size_t i = 0; i < expected.size(); ++i)
            other.push_back(os::Rand());
    }).join();
    EXPECT_EQ(other, expected);

    for (int i = 0; i < 100000; ++i) {
        int r = os::Rand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, os::kRandMax);
    }
}

TEST(AlignedMemory, HonoursTheAlignment)
{
    for (size_t alignment : {size_t{16}, size_t{64}, size_t{4096}}) {
        void* block = os::AlignedAlloc(100, alignment);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u);
        os::AlignedFree(block);
    }
    EXPECT_EQ(os::AlignedAlloc(16, 24), nullptr); // not a power of two
    os::AlignedFree(nullptr);
}

TEST(AddressSpace, DiscardedPagesReadAsZeroAndStayUsable)
{
    const size_t bytes = size_t{1} << 30; // reserved, not committed
    auto* span = static_cast<uint8_t*>(os::ReserveAddressSpace(bytes));
    ASSERT_NE(span, nullptr);
    span[0] = 7;
    span[bytes - 1] = 9;
    os::DiscardPages(span, 1);
    EXPECT_EQ(span[0], 0);
    EXPECT_EQ(span[bytes - 1], 9);
    span[0] = 5;
    EXPECT_EQ(span[0], 5);
    os::ReleaseAddressSpace(span, bytes);
}

TEST(DynamicLibrary, LoadsFindsAndFrees)
{
    void* zlib = os::LoadLibrary("libz.so.1");
    ASSERT_NE(zlib, nullptr);
    EXPECT_NE(os::FindLibraryFunction(zlib, "zlibVersion"), nullptr);
    EXPECT_EQ(os::FindLibraryFunction(zlib, "NoSuchFunction"), nullptr);
    EXPECT_TRUE(os::UnloadLibrary(zlib));

    EXPECT_EQ(os::LoadLibrary("nvapi.dll"), nullptr);
    EXPECT_EQ(os::FindLibraryFunction(nullptr, "x"), nullptr);
    EXPECT_FALSE(os::UnloadLibrary(nullptr));
}

TEST(Paths, CurrentDirectoryOfAnyLength)
{
    const fs::path saved = fs::current_path();
    const fs::path root = MakeTempDir();
    fs::path deep = root;
    const std::string part(200, 'd');
    while (deep.string().size() <= 2100)
        deep /= part;
    fs::create_directories(deep);
    ASSERT_TRUE(os::SetCurrentDirectory(deep.string()));
    EXPECT_EQ(os::CurrentDirectory(), deep.string());
    ASSERT_TRUE(os::SetCurrentDirectory(saved.string()));
    EXPECT_FALSE(os::SetCurrentDirectory((root / "missing").string()));
    fs::remove_all(root);
}

TEST(Paths, ExecutablePathIsThisProgram)
{
    const std::string path = os::ExecutablePath();
    EXPECT_EQ(fs::path(path).filename(), "tests_platform");
    EXPECT_TRUE(fs::path(path).is_absolute());
    platform::testing::ExecutablePathAs fake("zandrel");
    EXPECT_EQ(os::ExecutablePath(), "zandrel");
}

TEST(Cpu, Sse2IsPresentOnThisProcessor)
{
    EXPECT_TRUE(os::HasProcessorFeature(os::kFeatureSse2));
    EXPECT_FALSE(os::HasProcessorFeature(12345));
    platform::testing::ProcessorFeaturesAs none(false);
    EXPECT_FALSE(os::HasProcessorFeature(os::kFeatureSse2));
}

TEST(ReplaceFileContents, ReplacesWholeAndLeavesNothingBesideIt)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zandrel-replace-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "file").string();
    // What went wrong, "" when all is well.
    auto replace = [&]() -> std::string {
        if (!platform::ReplaceFileContents(path, "first, longer") || !platform::ReplaceFileContents(path, "second"))
            return "not replaced";
        std::ifstream in(path, std::ios::binary);
        if (std::string(std::istreambuf_iterator<char>(in), {}) != "second")
            return "other contents";
        if (std::distance(std::filesystem::directory_iterator(dir), {}) != 1)
            return "something beside it";
        // A folder that does not exist: refused, nothing made.
        if (platform::ReplaceFileContents((dir / "absent" / "file").string(), "x") ||
            std::distance(std::filesystem::directory_iterator(dir), {}) != 1)
            return "written into a missing folder";
        return "";
    };
    EXPECT_EQ(replace(), "");
    // As on a file system without unnamed files: the bytes go into a named
    // aside file from the start.
    std::filesystem::remove(path);
    EXPECT_EQ(platform::testing::RunWithoutUnnamedFiles([&] {
                  const int unnamed = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
                  if (unnamed >= 0 || errno != EOPNOTSUPP)
                      return 2;
                  return replace().empty() ? 0 : 1;
              }),
              0);
    std::filesystem::remove_all(dir);
}

TEST(ReplaceFileContents, RemovesTheAsideFilesOfItsFileWhoseWritersNoLongerRun)
{
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const fs::path dir = MakeTempDir();
    const std::string dead = ".tmp" + std::to_string(gone);
    // Each aside file with whether it stays: pid 1 always runs.
    const std::pair<std::string, bool> asides[] = {
        {"file" + dead, false}, {"file.tmp1", true}, {"other" + dead, true}, {"file" + dead + "x", true}};
    for (const auto& [name, kept] : asides)
        std::ofstream(dir / name) << "half";
    EXPECT_TRUE(platform::ReplaceFileContents((dir / "file").string(), "whole"));
    EXPECT_EQ(ReadFile(dir / "file"), "whole");
    for (const auto& [name, kept] : asides)
        EXPECT_EQ(fs::exists(dir / name), kept) << name;
    fs::remove_all(dir);
}
