// A close signal while the error box waits on the program's terminal, before
// the main window exists or after, ends the program as Abort would: exit code
// 1, one line naming the signal, nothing released, the terminal in its own
// mode. Continue Anyway after a failed device ends in order, with exit code 1.
#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>

#include "tests/support/program_run.h"

using namespace zandrel_test;

TEST(SignalsDuringABox, EndTheProgramAsAbortWouldWithTheTerminalBack)
{
    const std::string asAbort = " while the error box waited: the program ends, as after Abort.";
    const char* noDevice = "[Graphics]\nwidth=0\nheight=64\n"; // its box comes once the main window exists
    const struct Case {
        const char* settings; // null: no settings.ini, whose box comes before any window
        int signal;           // 0: `typed` on the terminal instead
        const char* typed;
        std::string said;
    } cases[] = {
        {nullptr, SIGINT, "", "SIGINT" + asAbort}, {nullptr, SIGTERM, "", "SIGTERM" + asAbort},
        {nullptr, 0, "\x03", "SIGINT" + asAbort},  {noDevice, SIGHUP, "", "SIGHUP" + asAbort},
        {noDevice, 0, "\x03", "SIGINT" + asAbort},
        {noDevice, 0, "c", "Without a Direct3D device there is nothing to show: the program ends.\n"},
    };
    for (const Case& c : cases) {
        ProgramRun program(c.settings ? c.settings : "");
        if (!c.settings)
            fs::remove(program.Dir() / "settings.ini");
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios own{}, after{};
        tcgetattr(slave, &own);
        ASSERT_TRUE(program.StartOn(master, slave));
        ASSERT_TRUE(program.WaitForOutput("[A]bort")) << program.Out();
        if (c.signal)
            program.Signal(c.signal);
        else
            ASSERT_EQ(write(master, c.typed, 1), 1);
        EXPECT_EQ(program.Wait(), 1) << program.Out();
        EXPECT_NE(program.Out().find(c.said), std::string::npos) << program.Out();
        const bool continued = c.typed[0] == 'c';
        EXPECT_EQ(LinesAmong(program.Out(), ReleaseLines()).size(), continued ? ReleaseLines().size() : 0u);
        tcgetattr(slave, &after);
        EXPECT_EQ(after.c_lflag, own.c_lflag) << c.said;
        close(master);
        close(slave);
    }
}
