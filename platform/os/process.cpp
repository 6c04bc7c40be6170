#include "platform/os/process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace platform::os {

std::vector<std::string> SplitCommandLine(std::string_view line)
{
    std::vector<std::string> args;
    const size_t n = line.size();
    size_t i = 0;
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            const char c = line[i];
            if (!quoted && (c == ' ' || c == '\t'))
                break;
            if (c == '\\') {
                size_t slashes = 0;
                while (i < n && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

namespace {

// Kills the program's process group and reaps the program.
void KillAndReap(pid_t pid, int& status)
{
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ProcessResult RunProgram(const std::string& program, const std::string& parameters, const std::string& workingDir,
                         const ProcessLimits& limits)
{
    ProcessResult result;
    if (limits.stop && limits.stop()) {
        result.stopped = true;
        return result;
    }
    std::vector<std::string> args = SplitCommandLine(parameters);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    // A group of its own, so that ending it ends whatever it started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        result.error = error;
        return result;
    }
    result.started = true;

    // The wait looks at the stop request and the clock every slice; the
    // program's end cuts a slice short.
    constexpr int kSliceMilliseconds = 20;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR) {
            result.error = errno;
            break;
        }
        if (limits.stop && limits.stop()) {
            result.stopped = true;
            KillAndReap(pid, status);
            break;
        }
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        if (limits.seconds > 0.0 && waited.count() >= limits.seconds) {
            result.timedOut = true;
            KillAndReap(pid, status);
            break;
        }
        if (pidfd >= 0) {
            pollfd watch{pidfd, POLLIN, 0};
            ::poll(&watch, 1, kSliceMilliseconds);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMilliseconds));
        }
    }
    if (pidfd >= 0)
        ::close(pidfd);
    if (result.error != 0)
        return result;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

} // namespace platform::os
