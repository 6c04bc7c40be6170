// Memory that runs short on any thread ends the process in one line, exit
// code 1, with the terminal back in its own mode.
#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <new>
#include <thread>

#include "platform/os/memory_shortage.h"
#include "platform/os/terminal.h"

TEST(MemoryShortageDeathTest, EndsInOneLineWithTheTerminalBack)
{
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios own{}, after{};
    tcgetattr(slave, &own);
    const auto runShortOnAThread = [slave] {
        dup2(slave, STDIN_FILENO);
        if (!platform::os::EnterKeyMode())
            _exit(3);
        platform::os::EndOnMemoryShortage();
        std::thread([] { throw std::bad_alloc(); }).join();
    };
    EXPECT_EXIT(runShortOnAThread(), testing::ExitedWithCode(1), "^Out of memory: the program ends\\.\n$");
    tcgetattr(slave, &after);
    EXPECT_EQ(after.c_lflag, own.c_lflag);
    close(master);
    close(slave);
}
