#pragma once
// Other processes seen from a test: the children of one, and whether one
// still runs. Header only; reads /proc.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "testing/test_files.h"

namespace zandrel_test {

// The processes that any thread of `pid` started and that are still its own.
inline std::vector<pid_t> ChildrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        for (std::istringstream in(ReadFile(task.path() / "children")); in;) {
            pid_t child = 0;
            if (in >> child)
                children.push_back(child);
        }
    return children;
}

// False once `pid` has ended, reaped or not.
inline bool ProcessRuns(pid_t pid)
{
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(") "); // the name in brackets may hold anything
    return close != std::string::npos && stat[close + 2] != 'Z';
}

// Whether `pid` ends before `patience` has gone.
inline bool EndsWithin(pid_t pid, std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (ProcessRuns(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !ProcessRuns(pid);
}

} // namespace zandrel_test
