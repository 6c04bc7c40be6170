#pragma once
// Running another program: its parameter text is split into arguments as a
// Windows command line is, the program itself is argv[0], no shell is involved,
// and the caller waits until it has ended, or until a time limit or a stop
// request ends the wait, and the program with it.
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
    bool timedOut = false; // it ran past the time limit and was killed
    bool stopped = false;  // the stop request came first: killed, or never started
};

// What ends a wait early. The program and everything it started are killed
// and reaped then.
struct ProcessLimits {
    double seconds = 0.0;        // the longest wait; 0 waits without limit
    std::function<bool()> stop;  // asked while waiting (and before starting)
};

// Runs `program` with argv = {program, SplitCommandLine(parameters)...} in
// `workingDir` (unchanged when empty), with this process's environment and
// standard streams, in a process group of its own, and waits for it.
ProcessResult RunProgram(const std::string& program, const std::string& parameters, const std::string& workingDir,
                         const ProcessLimits& limits = {});

} // namespace platform::os
