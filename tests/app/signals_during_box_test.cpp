// A close signal while the error box waits on the program's terminal, before
// the main window exists or after, ends the program as after Abort: exit code
// 1, one line naming the signal, no release, the terminal in its own mode. A
// start-up whose device failed ends in order after Continue Anyway, but with
// exit code 1 and one line saying why.
#include <gtest/gtest.h>

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

// The child's exit code once it has ended, -1 when it did not end normally
// within `patience`.
int WaitForExit(pid_t pid, std::chrono::seconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SignalsDuringABox, EndTheProgramAsAbortWouldWithTheTerminalBack)
{
    const std::string noDevice = "[Graphics]\nwidth=0\nheight=64\n"; // the box comes after the main window
    const struct Case {
        const char* settings; // null: no settings.ini, whose box comes before any window
        int signal;           // sent with kill; 0: `typed` goes to the terminal
        const char* typed;
        const char* said;
        bool released;
    } cases[] = {
        {nullptr, SIGINT, "", "SIGINT while the error box waited: the program ends, as after Abort.", false},
        {nullptr, SIGTERM, "", "SIGTERM while the error box waited: the program ends, as after Abort.", false},
        {nullptr, 0, "\x03", "SIGINT while the error box waited: the program ends, as after Abort.", false},
        {noDevice.c_str(), SIGINT, "", "SIGINT while the error box waited: the program ends, as after Abort.", false},
        {noDevice.c_str(), 0, "\x03", "SIGINT while the error box waited: the program ends, as after Abort.", false},
        {noDevice.c_str(), SIGHUP, "", "SIGHUP while the error box waited: the program ends, as after Abort.", false},
        {noDevice.c_str(), 0, "c", "Without a Direct3D device there is nothing to show: the program ends.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        ProgramRun program;
        if (c.settings)
            program.Settings(c.settings);
        else
            fs::remove(program.Dir() / "settings.ini");
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios own{};
        ASSERT_EQ(tcgetattr(slave, &own), 0);
        const fs::path out = program.Dir() / "out.txt";
        const pid_t pid = StartOnTerminal((program.Dir() / "zandrel").string(), out.string(), master, slave, true);
        ASSERT_GT(pid, 0);

        const auto deadline = std::chrono::steady_clock::now() + ProgramRun::kPatience;
        while (ReadFile(out).find("[A]bort") == std::string::npos && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        ASSERT_NE(ReadFile(out).find("[A]bort"), std::string::npos) << ReadFile(out);
        if (c.signal)
            kill(pid, c.signal);
        else
            ASSERT_EQ(write(master, c.typed, 1), 1);
        EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(20)), 1) << ReadFile(out);

        const std::string text = ReadFile(out);
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
        EXPECT_EQ(LinesAmong(text, ReleaseLines()).size(), c.released ? ReleaseLines().size() : 0u) << text;
        termios after{};
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        EXPECT_EQ(after.c_lflag, own.c_lflag);
        close(master);
        close(slave);
    }
}
