#include "platform/os/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#if ZANDREL_SANITIZE
#include <sanitizer/common_interface_defs.h>
#endif

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

// Kills the child (with its process group, which it leads) and reaps it.
void KillAndReap(pid_t pid, int& status, rusage& usage)
{
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
}

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Reads what is there without blocking; false once the writers have all gone.
bool Collect(int from, std::string& answer)
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n > 0) {
            answer.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Processor time spent so far by the process whose clock `clock` is (all its
// threads together); negative when it cannot be read.
double ProcessorSeconds(clockid_t clock)
{
    timespec spent{};
    if (::clock_gettime(clock, &spent) != 0)
        return -1.0;
    return static_cast<double>(spent.tv_sec) + static_cast<double>(spent.tv_nsec) * 1e-9;
}

// Waits for `pid` to end, collecting what comes through `from` (when it is a
// descriptor) into `answer` meanwhile. The wall-clock limit counts from the
// last output or the last use of the processor, the processor-time limit from
// the last output; without either, only the end or the stop request ends the wait.
void WaitFor(pid_t pid, int from, std::string* answer, const ProcessLimits& limits, ProcessResult& result)
{
    // The wait looks at the stop request and the clocks every slice; the
    // child's end or its output cuts a slice short.
    constexpr int kSliceMilliseconds = 20;
    constexpr double kBusySeconds = 0.01;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    clockid_t cpuClock{};
    const bool timed = limits.seconds > 0.0 || limits.cpuSeconds || limits.totalCpuSeconds > 0.0;
    const bool timesProcessor = timed && ::clock_getcpuclockid(pid, &cpuClock) == 0;
    auto since = std::chrono::steady_clock::now();
    double spent = timesProcessor ? ProcessorSeconds(cpuClock) : 0.0;
    const double spentAtStart = spent;
    double spentAtOutput = spent;
    double spentWhenBusy = spent;
    auto budget = [&] { return limits.cpuSeconds && answer ? limits.cpuSeconds(*answer) : 0.0; };
    double cpuSeconds = budget();
    int status = 0;
    rusage usage{};
    for (;;) {
        if (from >= 0) {
            const size_t before = answer->size();
            if (!Collect(from, *answer))
                from = -1; // nothing more can come
            if (timed && answer->size() != before) {
                since = std::chrono::steady_clock::now();
                if (timesProcessor)
                    spent = std::max(spent, ProcessorSeconds(cpuClock));
                spentAtOutput = spentWhenBusy = spent;
                cpuSeconds = budget();
            }
        }
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR) {
            result.error = errno;
            break;
        }
        if (limits.stop && limits.stop()) {
            result.stopped = true;
            KillAndReap(pid, status, usage);
            break;
        }
        if (timesProcessor) {
            spent = std::max(spent, ProcessorSeconds(cpuClock));
            // Busy, however slowly, once it has had a hundredth of a second
            // more: a starved compile gets that within moments, while a
            // waiting copy's housekeeping (a sanitizer's thread waking now
            // and then) takes far longer to.
            if (spent - spentWhenBusy >= kBusySeconds) {
                spentWhenBusy = spent;
                since = std::chrono::steady_clock::now();
            }
            if (cpuSeconds > 0.0 && spent - spentAtOutput >= cpuSeconds) {
                result.cpuTimedOut = true;
                KillAndReap(pid, status, usage);
                break;
            }
            if (limits.totalCpuSeconds > 0.0 && spent - spentAtStart >= limits.totalCpuSeconds) {
                result.totalCpuTimedOut = true;
                KillAndReap(pid, status, usage);
                break;
            }
        }
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - since;
        if (limits.seconds > 0.0 && waited.count() >= limits.seconds) {
            result.timedOut = true;
            KillAndReap(pid, status, usage);
            break;
        }
        pollfd watch[2];
        nfds_t count = 0;
        if (pidfd >= 0)
            watch[count++] = {pidfd, POLLIN, 0};
        if (from >= 0)
            watch[count++] = {from, POLLIN, 0};
        if (count > 0)
            ::poll(watch, count, kSliceMilliseconds);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMilliseconds));
    }
    if (from >= 0)
        Collect(from, *answer); // what it wrote just before it ended
    if (pidfd >= 0)
        ::close(pidfd);
    if (result.error != 0)
        return;
    result.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
        result.exitCode = 128 + result.signal;
    }
}

// Makes a pipe (both ends closed on exec) and a copy of this process; the
// copy's pid, 0 in the copy, or -1 with result.error set and the pipe closed.
pid_t ForkWithPipe(int fds[2], ProcessResult& result)
{
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.error = errno;
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
    }
    return pid;
}

// A copy's first steps, safe in a copy of a process with threads: a process
// group of its own (ending it ends whatever it starts), killed when the
// caller's thread ends (also across exec), every signal let through. False
// when the caller's thread had gone already.
bool FollowCaller(pid_t parent)
{
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        return false;
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    return true;
}

// The copy's own state, before its work: see RunInChildProcess.
void EnterChild(pid_t parent, int keep, size_t extraAddressSpace)
{
    if (!FollowCaller(parent))
        ::_exit(kChildExitOrphaned);
#if ZANDREL_SANITIZE
    // The report is printed by then; its exit code tells the caller it was one.
    __sanitizer_set_death_callback([] { ::_exit(kChildExitSanitizerReport); });
#endif
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    for (int s = 1; s < NSIG; ++s)
        if (s != SIGKILL && s != SIGSTOP)
            ::sigaction(s, &plain, nullptr);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (extraAddressSpace > 0) {
        // The first figure of statm is the mapped size in pages.
        char text[64] = {};
        const int statm = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
        if (statm >= 0) {
            const ssize_t n = ::read(statm, text, sizeof text - 1);
            ::close(statm);
            const unsigned long long pages = n > 0 ? std::strtoull(text, nullptr, 10) : 0;
            const unsigned long long mapped = pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
            rlimit space{};
            if (pages > 0 && ::getrlimit(RLIMIT_AS, &space) == 0) {
                const rlim_t bound = static_cast<rlim_t>(mapped + extraAddressSpace);
                if (space.rlim_cur == RLIM_INFINITY || bound < space.rlim_cur) {
                    space.rlim_cur = bound;
                    ::setrlimit(RLIMIT_AS, &space);
                }
            }
        }
    }
    if (keep > 3)
        ::close_range(3, static_cast<unsigned>(keep - 1), 0);
    ::close_range(static_cast<unsigned>(keep + 1), ~0u, 0);
}

} // namespace

std::string SignalText(int signal)
{
    const char* description = ::sigdescr_np(signal);
    return "signal " + std::to_string(signal) + (description ? std::string(" (") + description + ")" : std::string());
}

ProcessResult RunProgram(const std::string& program, const std::string& parameters, const std::string& workingDir,
                         const StopRequest& stop)
{
    ProcessResult result;
    if (stop && stop()) {
        result.stopped = true;
        return result;
    }
    std::vector<std::string> args = SplitCommandLine(parameters);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The copy tells why it could not run the program through `report`, which
    // a successful start closes.
    int report[2];
    const char* const folder = workingDir.empty() ? nullptr : workingDir.c_str();
    const pid_t parent = ::getpid();
    const pid_t pid = ForkWithPipe(report, result);
    if (pid < 0)
        return result;
    if (pid == 0) {
        // Only calls that are safe in a copy of a process with threads.
        int why = ESRCH;
        if (FollowCaller(parent)) {
            if (!folder || ::chdir(folder) == 0)
                ::execve(program.c_str(), argv.data(), environ);
            why = errno;
        }
        while (::write(report[1], &why, sizeof why) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    }
    ::close(report[1]);
    int why = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &why, sizeof why)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof why)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        result.error = why;
        return result;
    }
    result.started = true;
    WaitFor(pid, -1, nullptr, {0.0, stop}, result);
    return result;
}

ProcessResult RunInChildProcess(const std::function<void(int out)>& work, std::string& answer,
                                const ProcessLimits& limits)
{
    ProcessResult result;
    if (limits.stop && limits.stop()) {
        result.stopped = true;
        return result;
    }
    int fds[2];
    const pid_t parent = ::getpid();
    const pid_t pid = ForkWithPipe(fds, result);
    if (pid < 0)
        return result;
    if (pid == 0) {
        ::close(fds[0]);
        EnterChild(parent, fds[1], limits.extraAddressSpace);
        int code = 0;
        try {
            work(fds[1]);
        } catch (const std::bad_alloc&) {
            code = kChildExitOutOfMemory;
        } catch (...) {
            code = kChildExitException;
        }
        ::_exit(code);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    result.started = true;
    WaitFor(pid, fds[0], &answer, limits, result);
    ::close(fds[0]);
#if ZANDREL_SANITIZE
    if (result.signal == 0 && result.exitCode == kChildExitSanitizerReport) {
        static const char kSaid[] = "A copy of this process made a sanitizer report (above): this one fails with it.\n";
        (void)!::write(STDERR_FILENO, kSaid, sizeof kSaid - 1);
        std::abort();
    }
#endif
    return result;
}

} // namespace platform::os
