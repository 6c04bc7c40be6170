#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ui/engine_message_box.h"

// With no terminal to answer on, the box cannot be made: its caption and text
// go to file descriptor 2 and the answer says no dialog was shown.
TEST(MessageBoxTerminal, WithoutATerminalTheBoxIsWrittenToErrorOutput)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, STDIN_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        unsigned answer = EngineMessageBox(nullptr, "Disk full.\r\rPress Abort", "Zandrel Engine - error", 0x37,
                                           nullptr);
        ::_exit(answer == kResultNoDialog ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string err;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        err.append(buffer, static_cast<size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(err, "\n== Zandrel Engine - error ==\nDisk full.\n\nPress Abort\n");
}

#include <poll.h>
#include <pty.h>
#include <termios.h>

namespace {

// Reads what the child shows until `wanted` appears (or the child goes quiet).
bool ReadUntil(int fd, const std::string& wanted, std::string& seen)
{
    for (int quietRounds = 0; quietRounds < 50 && seen.find(wanted) == std::string::npos;) {
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, 100) <= 0) {
            ++quietRounds;
            continue;
        }
        char buffer[256];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen.find(wanted) != std::string::npos;
}

} // namespace

// On a terminal the box shows its caption, text and buttons with their
// mnemonic letters, takes a key, and leaves the terminal's mode as it was.
TEST(MessageBoxTerminal, OnATerminalAMnemonicAnswersAndTheModeComesBack)
{
    int master = -1;
    pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        termios before{};
        ::tcgetattr(STDIN_FILENO, &before);
        unsigned answer = EngineMessageBox(nullptr, "Disk full.", "Zandrel Engine - error", 0x37, nullptr);
        termios after{};
        ::tcgetattr(STDIN_FILENO, &after);
        const bool restored = after.c_lflag == before.c_lflag;
        ::_exit(answer == kIdAbort && restored ? 0 : 1);
    }
    std::string seen;
    EXPECT_TRUE(ReadUntil(master, "[A]bort", seen)) << seen;
    EXPECT_NE(seen.find("== Zandrel Engine - error =="), std::string::npos) << seen;
    EXPECT_NE(seen.find("[C]ontinue Anyway"), std::string::npos) << seen;
    ASSERT_EQ(::write(master, "a", 1), 1);
    int status = 0;
    bool ended = false;
    for (int round = 0; round < 100 && !ended; ++round) {
        ended = ::waitpid(child, &status, WNOHANG) == child;
        pollfd in{master, POLLIN, 0};
        char buffer[256];
        if (!ended && ::poll(&in, 1, 100) > 0 && ::read(master, buffer, sizeof buffer) <= 0)
            ended = ::waitpid(child, &status, 0) == child;
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the box did not take the key: " << seen;
    }
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << seen;
}
