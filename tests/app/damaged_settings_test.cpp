// The program started on damaged or hostile settings, as a careless user or a
// hostile peer would leave them: each run must end by itself or on Ctrl+C,
// never crash or hang, and say what was wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// With no terminal the error box cannot be answered: its text goes to standard
// error and the run ends with code 1, as after Abort.
TEST(DamagedSettings, ASettingsFolderEndsWithTheMissingFileBox)
{
    ProgramRun program;
    fs::create_directory(program.Dir() / "settings.ini");
    ASSERT_TRUE(program.Start());
    ASSERT_EQ(program.Wait(), 1) << program.Err();
    EXPECT_TRUE(Has(program.Err(), "Settings.ini not found.")) << program.Err();
    EXPECT_FALSE(Has(program.Err(), "terminate")) << program.Err();
}

// A count of archives far past the names does not hold up the start: the
// names and a few empty ones are tried, the rest is reported, and the run goes
// on to its main loop.
TEST(DamagedSettings, AnArchiveCountFarPastTheNamesStillStarts)
{
    ProgramRun program("[Graphics]\nwidth=64\nheight=64\n[FileSystem]\narchives=100000\narchive0=missing.zip\n");
    ASSERT_EQ(program.RunUntilCtrlC(), 0) << program.Err();
    const auto lines = Lines(program.Out());
    const auto mounted = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.size() >= 9 && line.compare(line.size() - 9, 9, " mounted.") == 0;
    });
    EXPECT_EQ(mounted, 1 + 1 + 16); // the folder, archive0, then sixteen empty names
    EXPECT_TRUE(Has(program.Out(), "[FileSystem] archives=100000 counts far past the last archive name, archive0: "
                                   "archive17 and later are left out.\n"))
        << program.Out().substr(0, 4000);
}

// A window size at the end of int: the window is made without overflow, and
// the device, which keeps 16 bits of it, refuses the size and says so.
TEST(DamagedSettings, AWindowSizeAtTheEndOfIntIsRefusedByTheDevice)
{
    ProgramRun program("[Graphics]\nwidth=2147483647\nheight=2147483647\n");
    ASSERT_TRUE(program.Start());
    ASSERT_EQ(program.Wait(), 1) << program.Err();
    EXPECT_TRUE(Has(program.Err(), "Can't create Direct3D device")) << program.Err();
    EXPECT_FALSE(Has(program.Err(), "runtime error")) << program.Err();
}

// A port that is no port number: said so in the box, no listening elsewhere.
TEST(DamagedSettings, ANetworkPortThatIsNoPortNumberIsRefused)
{
    for (const std::string& port : std::vector<std::string>{"99999", "-1", std::string(5000, '9')}) {
        ProgramRun program("[Graphics]\nwidth=64\nheight=64\n[net]\nasync=1\nprotocol=tcp\nport=" + port + "\n");
        ASSERT_TRUE(program.Start());
        ASSERT_EQ(program.Wait(), 1) << program.Err();
        EXPECT_TRUE(Has(program.Err(), "Bad port in section net: \"" + port.substr(0, 24)))
            << port.substr(0, 30) << program.Err();
    }
}
