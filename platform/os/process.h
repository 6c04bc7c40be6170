#pragma once
// Running another program: its parameter text is split into arguments as a
// Windows command line is, the program itself is argv[0], no shell is involved,
// and the caller waits until it has ended, or until a stop request ends the
// wait, and the program with it. Running a piece of this program in a copy of
// the process, so that its crash or hang cannot reach the caller, waits the
// same way, and may also bound the copy's time.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::os {

// Blanks separate arguments outside double quotes; 2n backslashes before a
// quote give n backslashes and the quote toggles quoting, 2n+1 give n and a
// literal quote; "" inside quotes is a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

struct ProcessResult {
    bool started = false; // false: the program could not be run (error holds errno)
    int error = 0;
    int exitCode = 0;     // 128 + signal number when a signal ended it
    int signal = 0;       // the signal that ended it; 0 when it exited
    bool timedOut = false; // a copy went past the wall-clock limit and was killed
    bool cpuTimedOut = false; // it spent past the processor-time limit and was killed
    bool totalCpuTimedOut = false; // it spent past the limit on its processor time in all and was killed
    double cpuSeconds = 0.0; // the processor time it spent, all its threads together
    bool stopped = false;  // the stop request came first: killed, or never started
};

// Asked while waiting (and before starting); true ends the wait.
using StopRequest = std::function<bool()>;

// What ends the wait for a copy made by RunInChildProcess early. The copy and
// everything it started are killed and reaped then.
struct ProcessLimits {
    // The longest the copy may go neither writing nor using the processor;
    // 0 waits without limit. It ends a copy that waits on nothing, never one
    // that a loaded machine keeps waiting for the processor.
    double seconds = 0.0;
    StopRequest stop;
    // The address space the copy may map beyond what this process has mapped
    // when it starts; 0 sets no bound.
    size_t extraAddressSpace = 0;
    // The processor time (all its threads together) the copy may spend from
    // now until it next writes, asked at the start and after each output with
    // all it wrote so far; 0, or none, sets no limit.
    std::function<double(std::string_view answer)> cpuSeconds;
    // The processor time the copy may spend in all; 0 sets no limit.
    double totalCpuSeconds = 0.0;
};

// How a copy made by RunInChildProcess ends when its work does not return.
inline constexpr int kChildExitException = 70;   // an exception left the work
inline constexpr int kChildExitOrphaned = 71;    // the caller's thread was gone before it began
inline constexpr int kChildExitOutOfMemory = 72; // std::bad_alloc left the work
// A sanitizer's report in a sanitized build. The caller then fails as the
// sanitizer would have failed it: the report is of this program's code.
inline constexpr int kChildExitSanitizerReport = 73;

// "signal 11 (Segmentation fault)".
std::string SignalText(int signal);

// Runs `program` with argv = {program, SplitCommandLine(parameters)...} in
// `workingDir` (unchanged when empty), with this process's environment and
// standard streams, in a process group of its own, and waits for it without a
// time limit: only `stop` ends the wait early, killing the program and all it
// started. The program is killed when the calling thread ends (this process
// killed, say), also when that happens before it starts.
ProcessResult RunProgram(const std::string& program, const std::string& parameters, const std::string& workingDir,
                         const StopRequest& stop = {});

// Runs `work` in a copy of this process made by fork() and waits for the copy
// to end; what the work writes to `out`, the write end of a pipe, is collected
// in `answer` as it comes, whichever way the copy ends. The copy holds only the calling
// thread: the work must take no lock that another thread may have held (the
// memory allocator's are safe) and touch no descriptor but `out` (the others
// are closed). It runs in a process group of its own (a terminal's Ctrl+C
// reaches only the caller), with the default action for every signal, and
// writes no core file. It ends with _exit as soon as the work returns (exit
// code 0), running no exit handler and flushing no stream; an exception
// leaving the work ends it with kChildExitException, or kChildExitOutOfMemory
// for std::bad_alloc. A copy whose caller's thread ends is killed.
ProcessResult RunInChildProcess(const std::function<void(int out)>& work, std::string& answer,
                                const ProcessLimits& limits = {});

} // namespace platform::os
