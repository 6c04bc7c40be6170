#pragma once
// The built program run as a person would: copied into a temporary folder of
// its own (it finds its files through its own path, not the current
// directory), started with no terminal (input from /dev/null, output and error
// output into out.txt and err.txt there), stopped with a signal; every wait is
// bounded. The demonstration's data is copied beside it from the run folder.
// Needs ZANDREL_EXE and ZANDREL_RUN_DIR.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testing/demo_data.h"
#include "testing/test_files.h"

extern char** environ;

namespace zandrel_test {

class ProgramRun {
public:
    static constexpr auto kPatience = std::chrono::seconds(30);

    ProgramRun() : folder_("zandrel-run")
    {
        fs::copy_file(ZANDREL_EXE, folder_.Path("zandrel"));
        CopyDemoData();
    }
    explicit ProgramRun(const std::string& settings) : ProgramRun() { Settings(settings); }
    ~ProgramRun()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    void Settings(const std::string& text) const { folder_.Write("settings.ini", text); }

    void CopyDemoData() const { CopyDemoDataInto(folder_.Dir()); }
    const fs::path& Dir() const { return folder_.Dir(); }
    std::string Out() const { return ReadFile(folder_.Path("out.txt")); }
    std::string Err() const { return ReadFile(folder_.Path("err.txt")); }
    std::string Log() const { return ReadFile(folder_.Path("log.txt")); }

    // False when the program could not be started. The descriptors among 0, 1
    // and 2 that `closed` names are closed instead. A `launcher` (a program and
    // its first arguments) starts it by exec, keeping its pid.
    bool Start(const std::vector<int>& closed = {}, std::vector<std::string> launcher = {})
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = folder_.Path("out.txt").string();
        const std::string err = folder_.Path("err.txt").string();
        const std::pair<const char*, int> opened[] = {{"/dev/null", O_RDONLY},
                                                      {out.c_str(), O_WRONLY | O_CREAT | O_TRUNC},
                                                      {err.c_str(), O_WRONLY | O_CREAT | O_TRUNC}};
        for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
            if (std::find(closed.begin(), closed.end(), fd) != closed.end())
                posix_spawn_file_actions_addclose(&actions, fd);
            else
                posix_spawn_file_actions_addopen(&actions, fd, opened[fd].first, opened[fd].second, 0644);
        }
        launcher.push_back(folder_.Path("zandrel").string());
        std::vector<char*> argv;
        for (std::string& arg : launcher)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            pid_ = 0;
        return spawned == 0;
    }

    // Waits until the program catches `signal` (from its first moment on: a
    // close that comes during start-up is taken by the main loop's first
    // cycle); false when it ended first or did not get there in time.
    bool WaitUntilItCatches(int signal) const
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        const std::string statusPath = "/proc/" + std::to_string(pid_) + "/status";
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
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

    pid_t Pid() const { return pid_; }
    // Starts it with StartOnTerminal, the terminal its session's own.
    bool StartOn(int master, int slave);
    // Waits until its standard output holds `text`; false when it did not in time.
    bool WaitForOutput(const std::string& text) const
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (Out().find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return Out().find(text) != std::string::npos;
    }

    void Signal(int signal) const
    {
        if (pid_ > 0)
            kill(pid_, signal);
    }

    // The exit code, or -1 when it did not end normally in time.
    int Wait()
    {
        if (pid_ <= 0)
            return -1;
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

    // Starts it, waits until it handles Ctrl+C, sends it and returns the exit
    // code: -2 not started, -3 never ready, -1 no normal end in time.
    int RunUntilCtrlC()
    {
        if (!Start())
            return -2;
        if (!WaitUntilItCatches(SIGINT))
            return -3;
        Signal(SIGINT);
        return Wait();
    }

private:
    TempDir folder_;
    pid_t pid_ = 0;
};

// Starts the program `exe` as the leader of a session of its own whose standard
// input is the terminal `slave` (so its keys and boxes are live) and whose
// standard output and error go to the file `out`. With `controlling` the
// terminal is the session's own, so Ctrl+C typed on it is SIGINT for the
// program. Returns the child's pid.
inline pid_t StartOnTerminal(const std::string& exe, const std::string& out, int master, int slave,
                             bool controlling = false)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        if (controlling)
            ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, STDIN_FILENO);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(outFd, STDOUT_FILENO);
        dup2(outFd, STDERR_FILENO);
        close(master);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

inline bool ProgramRun::StartOn(int master, int slave)
{
    pid_ = StartOnTerminal(folder_.Path("zandrel").string(), folder_.Path("out.txt").string(), master, slave, true);
    return pid_ > 0;
}

// The lines of `text` that are among `wanted`, in the order they appear.
inline std::vector<std::string> LinesAmong(const std::string& text, const std::vector<std::string>& wanted)
{
    std::vector<std::string> kept;
    for (const auto& line : Lines(text))
        for (const auto& w : wanted)
            if (line == w)
                kept.push_back(line);
    return kept;
}

// The release lines of a run, in the order the program prints them.
inline const std::vector<std::string>& ReleaseLines()
{
    static const std::vector<std::string> lines{
        "[dbg] release tm start", "[dbg] release tm end", "[dbg] released tm",
        "[dbg] released conf",    "[dbg] after main",     "[dbg] released app",
    };
    return lines;
}

} // namespace zandrel_test
