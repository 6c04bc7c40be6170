// Escape typed on the program's terminal ends it in its normal order, and the
// terminal is back in its own mode afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/program_run.h"

using namespace zandrel_test;
using namespace std::chrono_literals;

namespace {

// Whether the process has installed a handler for `signal` (its main window exists).
bool Catches(pid_t pid, int signal)
{
    for (const auto& line : Lines(ReadFile("/proc/" + std::to_string(pid) + "/status")))
        if (line.rfind("SigCgt:", 0) == 0)
            return std::stoull(line.substr(7), nullptr, 16) & (1ull << (signal - 1));
    return false;
}

bool InKeyMode(int slave)
{
    termios mode{};
    return tcgetattr(slave, &mode) == 0 && !(mode.c_lflag & ICANON);
}

} // namespace

TEST(InputEscape, EscapeOnTheTerminalEndsTheProgramWithZero)
{
    TempDir folder("zandrel-escape");
    fs::copy_file(ZANDREL_EXE, folder.Path("zandrel"));
    zandrel_test::CopyDemoDataInto(folder.Dir());
    folder.Write("settings.ini", "[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n");
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);

    const std::string exe = folder.Path("zandrel").string();
    const std::string out = folder.Path("out.txt").string();
    const pid_t pid = zandrel_test::StartOnTerminal(exe, out, master, slave);
    ASSERT_GT(pid, 0);

    // Ready once the window exists and the keyboard has the terminal.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    int status = 0;
    bool ended = false;
    while (!(Catches(pid, SIGINT) && InKeyMode(slave)) && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_FALSE(ended) << ReadFile(out);
    ASSERT_TRUE(InKeyMode(slave)) << ReadFile(out);

    ASSERT_EQ(write(master, "\x1b", 1), 1);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            ended = true;
        else
            std::this_thread::sleep_for(5ms);
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(ended) << ReadFile(out);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(out);

    // The release ran in its order, the devices with it.
    const std::string text = ReadFile(out);
    EXPECT_EQ(LinesAmong(text, ReleaseLines()), ReleaseLines()) << text;
    EXPECT_EQ(LinesAmong(text, {"DirectInput keyboard released.", "DirectInput mouse released.",
                                "DirectInput released."}),
              (std::vector<std::string>{"DirectInput keyboard released.", "DirectInput mouse released.",
                                        "DirectInput released."}));
    termios mode{};
    ASSERT_EQ(tcgetattr(slave, &mode), 0);
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
    close(master);
    close(slave);
}
