// Runs the built program in a temporary folder, as a person would, and checks
// its log, its exit code and the order of its release lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

const std::vector<std::string> kReleaseLines{
    "[dbg] release tm start", "[dbg] release tm end", "[dbg] released tm",
    "[dbg] released conf",    "[dbg] after main",     "[dbg] released app",
};

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
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

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
    std::vector<std::string> found;
    for (const auto& line : Lines(text))
        if (std::find(kReleaseLines.begin(), kReleaseLines.end(), line) != kReleaseLines.end())
            found.push_back(line);
    return found;
}

bool IsHandleLine(const std::string& line)
{
    return line.size() > 2 && line.rfind("0x", 0) == 0 &&
           line.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

// The program copied into its own folder; it runs from another current
// directory, so every file it touches is found through its own path.
class Program {
public:
    Program()
    {
        std::string pattern = (fs::temp_directory_path() / "zandrel-run-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        fs::copy_file(ZANDREL_EXE, dir_ / "zandrel");
    }
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    void Settings(const std::string& text) const { std::ofstream(dir_ / "settings.ini") << text; }
    const fs::path& Dir() const { return dir_; }
    std::string Out() const { return ReadFile(dir_ / "out.txt"); }
    std::string Err() const { return ReadFile(dir_ / "err.txt"); }
    std::string Log() const { return ReadFile(dir_ / "log.txt"); }

    // Starts it with no terminal: input from /dev/null, output into files.
    void Start()
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
        ASSERT_EQ(posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }

    // Waits until the program catches `signal` (its main window exists), or it ended.
    bool WaitUntilItCatches(int signal)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        const std::string statusPath = "/proc/" + std::to_string(pid_) + "/status";
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& line : Lines(ReadFile(statusPath))) {
                if (line.rfind("SigCgt:", 0) == 0) {
                    const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
                    if (caught & (1ull << (signal - 1)))
                        return true;
                }
                if (line.rfind("State:", 0) == 0 && line.find('Z') != std::string::npos)
                    return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void Signal(int signal) const { kill(pid_, signal); }

    // The exit code, or -1 when it did not end normally in time.
    int Wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    fs::path dir_;
    pid_t pid_ = 0;
};

} // namespace

TEST(Program, LogMode0KeepsNoLogAndCtrlCEndsInOrder)
{
    Program program;
    program.Settings("[log]\nlogMode=0\n[Graphics]\nwidth=320\nheight=200\n");
    std::ofstream(program.Dir() / "log.txt") << "stale text\n";
    program.Start();
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
    program.Settings("[log]\nlogMode=2\n[Graphics]\nwidth=320\nheight=200\n");
    program.Start();
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT));
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Err();

    const auto logLines = Lines(program.Log());
    EXPECT_EQ(std::count_if(logLines.begin(), logLines.end(), IsHandleLine), 1);
    EXPECT_TRUE(ReleaseLinesOf(program.Log()).empty());
    EXPECT_EQ(std::count(logLines.begin(), logLines.end(), "Settings.ini loaded"), 0);

    const auto outLines = Lines(WithoutPoolAnnouncements(program.Out()));
    ASSERT_FALSE(outLines.empty());
    EXPECT_EQ(outLines[0], "Settings.ini loaded");
    EXPECT_EQ(std::count_if(outLines.begin(), outLines.end(), IsHandleLine), 0);
    EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
}

TEST(Program, LogMode1WritesStraightToTheTerminalStandIn)
{
    Program program;
    program.Settings("[log]\nlogMode=1\n[Graphics]\nwidth=320\nheight=200\n");
    program.Start();
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
    program.Settings("[Graphics]\nwidth=64\nheight=64\n");
    program.Start();
    ASSERT_TRUE(program.WaitUntilItCatches(GetParam()));
    program.Signal(GetParam());
    ASSERT_EQ(program.Wait(), 0) << program.Err();
    EXPECT_EQ(ReleaseLinesOf(program.Out()), kReleaseLines);
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(Program, MissingSettingsWithoutATerminalEndsWithCode1AndSaysWhy)
{
    Program program;
    program.Start();
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
    program.Settings("[Graphics]\nwidth=320\nheight=200\nvsync=1\n");
    program.Start();
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
    program.Start();
    ASSERT_EQ(program.Wait(), 1); // no terminal to answer the box
    const std::string err = program.Err();
    EXPECT_NE(err.find("Can't create Direct3D device: Invalid call"), std::string::npos) << err;
    EXPECT_EQ(program.Out().find("D3D9Device Handle"), std::string::npos);
}
