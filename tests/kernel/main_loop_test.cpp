// The built program's main loop is the render thread's loop, with the IO thread
// beside it: Ctrl+C ends it with the threads' lines, then the release lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// Runs a copy of the program in a folder of its own with the given settings,
// waits until it handles Ctrl+C, sends it, and returns its exit code.
class ProgramRun {
public:
    explicit ProgramRun(const std::string& settings)
    {
        std::string pattern = (fs::temp_directory_path() / "zandrel-loop-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        fs::copy_file(ZANDREL_EXE, dir_ / "zandrel");
        std::ofstream(dir_ / "settings.ini") << settings;
    }
    ~ProgramRun()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    int RunUntilCtrlC()
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const std::string out = (dir_ / "out.txt").string();
        const std::string err = (dir_ / "err.txt").string();
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string exe = (dir_ / "zandrel").string();
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        const int spawned = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return -2;

        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        bool catches = false;
        while (!catches && std::chrono::steady_clock::now() < deadline) {
            for (const auto& line : Lines(ReadFile("/proc/" + std::to_string(pid_) + "/status")))
                if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1))))
                    catches = true;
            if (!catches)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!catches)
            return -3;
        kill(pid_, SIGINT);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out() const { return ReadFile(dir_ / "out.txt"); }
    std::string Err() const { return ReadFile(dir_ / "err.txt"); }
    std::string Log() const { return ReadFile(dir_ / "log.txt"); }

private:
    fs::path dir_;
    pid_t pid_ = 0;
};

// The lines of `text` that are among `wanted`, in the order they appear.
std::vector<std::string> Only(const std::string& text, const std::vector<std::string>& wanted)
{
    std::vector<std::string> kept;
    for (const auto& line : Lines(text))
        for (const auto& w : wanted)
            if (line == w)
                kept.push_back(line);
    return kept;
}

const std::vector<std::string> kThreadLines{
    "[dbg] terminating threads...", "[dbg] terminating thread 0", "closed IOTHREAD",
    "[dbg] TERMINATE 1 1",          "[dbg] terminated",           "[dbg] terminating thread 1",
    "closed RENDERTHREAD",
};

const std::vector<std::string> kReleaseLines{
    "[dbg] release tm start", "[dbg] release tm end", "[dbg] released tm",
    "[dbg] released conf",    "[dbg] after main",     "[dbg] released app",
};

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(MainLoop, CtrlCStopsTheThreadsThenReleasesInOrder)
{
    ProgramRun program("[log]\nlogMode=0\n[Graphics]\nwidth=320\nheight=200\n");
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
    ProgramRun program("[log]\nlogMode=2\n[Graphics]\nwidth=320\nheight=200\n");
    ASSERT_EQ(program.RunUntilCtrlC(), 0) << program.Err();
    const std::string log = program.Log();
    EXPECT_EQ(Only(log, {"closed IOTHREAD"}).size(), 1u) << log;
    EXPECT_EQ(Only(log, {"closed RENDERTHREAD"}).size(), 1u) << log;
    EXPECT_EQ(Only(log, kReleaseLines).size(), 0u) << log;
    EXPECT_EQ(Only(program.Out(), kReleaseLines), kReleaseLines);
}
