#include <gtest/gtest.h>

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
