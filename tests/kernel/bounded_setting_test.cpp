// Counts and sizes from the settings are held to their range: a value outside
// shows one box naming it as written, and after Continue Anyway the nearest
// end is what every reader gets.
#include "kernel/bounded_setting.h"

#include <gtest/gtest.h>

#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "platform/testing/message_box_script.h"

TEST(BoundedSetting, AValueOutsideItsRangeIsNamedOnceAndTheNearestEndUsed)
{
    const std::string range = " is out of range: 1 to 100 things. Continue Anyway uses ";
    struct Case {
        const char* line; // of section s, or null
        int used;
        std::string box;  // empty: none
    } cases[] = {
        {"k = 0x10", 16, ""},
        {"k=2000000000", 100, "[s] k=2000000000" + range + "100.\n"},
        {"k=-3", 1, "[s] k=-3" + range + "1.\n"},
        {"K=99999999999999999999999999999", 100, "[s] k=999999999999999999999999..." + range + "100.\n"},
        {nullptr, 1, "[s] k (not set)" + range + "1.\n"},
    };
    for (const Case& c : cases) {
        Settings settings;
        if (c.line)
            settings.LoadText(std::string("[S]\n") + c.line + "\n");
        platform::testing::ScriptedMessageBoxes continueAnyway;
        EXPECT_EQ(GetBoundedInt(settings, "s", "k", 1, 100, "things"), c.used);
        EXPECT_EQ(settings.GetInt("s", "k"), c.used);
        EXPECT_EQ(GetBoundedInt(settings, "s", "k", 1, 100, "things"), c.used);
        ASSERT_EQ(continueAnyway.Shown().size(), c.box.empty() ? 0u : 1u) << c.box;
        if (!c.box.empty()) {
            EXPECT_EQ(continueAnyway.Shown()[0].text, ErrorBoxText(c.box));
        }
    }
}
