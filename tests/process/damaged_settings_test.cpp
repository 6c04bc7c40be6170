// The program started on damaged or hostile settings, as a careless user or a
// hostile peer would leave them: each run must end by itself or on Ctrl+C,
// never crash or hang, and say what was wrong.
#include <gtest/gtest.h>

#include <csignal>

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
