// A count from the settings outside its range shows one box naming it as
// written; after Continue Anyway every reader gets the nearest end.
#include "kernel/bounded_setting.h"

#include <gtest/gtest.h>

#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "testing/message_box_script.h"

TEST(BoundedSetting, AValueOutsideItsRangeIsNamedOnceAndTheNearestEndUsed)
{
    const std::string range = " is out of range: 1 to 100 things. Continue Anyway uses ";
    const struct {
        const char* file;
        int used;
        std::string box; // empty: none
    } cases[] = {{"[S]\nk = 0x10\n", 16, ""},
                 {"[s]\nK=99999999999999999999999999999\n", 100, "[s] k=999999999999999999999999..." + range + "100.\n"},
                 {"", 1, "[s] k (not set)" + range + "1.\n"}};
    for (const auto& c : cases) {
        Settings settings;
        settings.LoadText(c.file);
        platform::testing::ScriptedMessageBoxes continueAnyway;
        EXPECT_EQ(GetBoundedInt(settings, "s", "k", 1, 100, "things"), c.used);
        EXPECT_EQ(GetBoundedInt(settings, "s", "k", 1, 100, "things"), c.used);
        EXPECT_EQ(settings.GetInt("s", "k"), c.used);
        ASSERT_EQ(continueAnyway.Shown().size(), c.box.empty() ? 0u : 1u);
        EXPECT_TRUE(c.box.empty() || continueAnyway.Shown()[0].text == ErrorBoxText(c.box)) << c.box;
    }
}
