#include <gtest/gtest.h>

#include "message_box_support.h"
#include "platform/window/clipboard.h"
#include "platform/window/keyboard_state.h"
#include "ui/engine_message_box.h"

using platform::Window;

namespace {

std::string TextOf(Window* dialog, int id)
{
    return platform::WindowTitle(platform::GetDialogItem(dialog, id));
}

} // namespace

TEST(MessageBoxCountdown, ShowsTheSecondsOnTheDefaultButtonThenChoosesIt)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.timeoutSeconds = 3;
    std::vector<std::string> seen;
    auto look = [&](Window* dialog) { seen.push_back(TextOf(dialog, 1)); };
    world.script.Inspect(look).Tick().Inspect(look).Tick().Inspect(look).Tick().Inspect(look).Tick();
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 0, &params), kResultTimedOut | 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"OK", "OK = 3", "OK = 2", "OK = 1"}));
    EXPECT_FALSE(world.script.Exhausted());
}

TEST(MessageBoxCountdown, AClickStopsItAndPutsTheCaptionBack)
{
    for (bool frame : {false, true}) {
        MessageBoxWorld world;
        EngineMessageBoxParams params;
        params.timeoutSeconds = 2;
        std::string after;
        world.script.Tick();
        if (frame)
            world.script.ClickFrame();
        else
            world.script.Click(kIdMessageText); // the text lets the click through to the dialog
        world.script.Tick(5).Inspect([&](Window* dialog) { after = TextOf(dialog, 2); }).Click(2);
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 0x101, &params), 2u);
        EXPECT_EQ(after, "Cancel");
    }
}

TEST(MessageBoxCountdown, AThousandSecondsOrMoreBecomeTen)
{
    for (int asked : {1000, 999}) {
        MessageBoxWorld world;
        EngineMessageBoxParams params;
        params.timeoutSeconds = asked;
        std::string shown;
        world.script.Tick().Inspect([&](Window* dialog) { shown = TextOf(dialog, 1); }).Click(1);
        EngineMessageBox(nullptr, "x", "y", 0, &params);
        EXPECT_EQ(shown, asked == 1000 ? "OK = 10" : "OK = 999");
    }
}

TEST(MessageBoxCountdown, TheChosenAnswerKeepsATickedCheckBox)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.timeoutSeconds = 1;
    // Clicking the box would be a command and stop the countdown, so it is ticked directly.
    world.script.Inspect([](Window* dialog) {
        platform::SendMessage(platform::GetDialogItem(dialog, kIdCheckBox), platform::kMsgButtonSetCheck,
                              platform::kChecked, 0);
    }).Tick(2);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 4 | 0x100 | kStyleTellAgainBox, &params),
              kResultTimedOut | kStyleTellAgainBox | kIdNo);
}

TEST(MessageBoxDisabledPeriod, CountsDownInTheCaptionThenEnablesTheButtons)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.disabledSeconds = 2;
    params.reportCallback = [](const char*, uint32_t) {};
    struct Look {
        std::string title;
        bool okEnabled, helpEnabled, reportEnabled, checkEnabled, closeEnabled;
    };
    std::vector<Look> looks;
    auto look = [&](Window* dialog) {
        looks.push_back({platform::WindowTitle(dialog), platform::IsWindowEnabled(platform::GetDialogItem(dialog, 1)),
                         platform::IsWindowEnabled(platform::GetDialogItem(dialog, 300)),
                         platform::IsWindowEnabled(platform::GetDialogItem(dialog, 301)),
                         platform::IsWindowEnabled(platform::GetDialogItem(dialog, kIdCheckBox)),
                         platform::IsSystemCloseEnabled(dialog)});
    };
    world.script.Click(1).Key(platform::kVkEscape).Tick().Inspect(look).Tick().Inspect(look).Tick().Inspect(look);
    world.script.Click(1);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "Error", 1 | kStyleHelp | kStyleAskAgainBox, &params), 1u);
    ASSERT_EQ(looks.size(), 3u);
    EXPECT_EQ(looks[0].title, "Error 2");
    EXPECT_EQ(looks[1].title, "Error 1");
    EXPECT_EQ(looks[2].title, "Error");
    EXPECT_FALSE(looks[1].okEnabled);
    EXPECT_FALSE(looks[1].closeEnabled);
    EXPECT_TRUE(looks[1].helpEnabled && looks[1].reportEnabled && looks[1].checkEnabled);
    EXPECT_TRUE(looks[2].okEnabled);
    EXPECT_TRUE(looks[2].closeEnabled);
}

TEST(MessageBoxCopy, CtrlCCopiesTheWholeBox)
{
    MessageBoxWorld world;
    world.script.CtrlKey('C').Inspect([](Window*) { EXPECT_FALSE(platform::testing::ClipboardIsOpen()); }).Click(1);
    EngineMessageBox(nullptr, "Disk full.", "Error", 1, nullptr);
    const std::string rule = "---------------------------\r\n";
    EXPECT_EQ(platform::ClipboardText().value_or(""),
              rule + "Error\r\n" + rule + "Disk full.\r\n" + rule + "OK   Cancel   \r\n" + rule);
}

TEST(MessageBoxCopy, ACInWithoutCtrlIsNotACopy)
{
    MessageBoxWorld world;
    platform::OpenClipboard();
    platform::EmptyClipboard();
    platform::CloseClipboard();
    world.script.Key('C');
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 6, nullptr), 11u) << "C is the mnemonic of &Continue Anyway";
    EXPECT_FALSE(platform::ClipboardText().has_value());
}

TEST(MessageBoxCopy, AClipboardThatFailsCopiesNothingAndIsLeftClosed)
{
    for (bool failOpen : {true, false}) {
        MessageBoxWorld world;
        platform::OpenClipboard();
        platform::EmptyClipboard();
        platform::CloseClipboard();
        failOpen ? platform::testing::FailNextClipboardOpen() : platform::testing::FailNextClipboardText();
        world.script.CtrlKey('C').Click(1);
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1, nullptr), 1u);
        EXPECT_FALSE(platform::ClipboardText().has_value());
        EXPECT_FALSE(platform::testing::ClipboardIsOpen());
    }
}

TEST(MessageBoxHelpAndReport, HelpOpensTheProgramsHelpFileAndReportCallsBack)
{
    static std::string reported;
    static uint32_t reportedData = 0;
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.helpContextId = 77;
    params.reportData = 5;
    params.reportCallback = [](const char* text, uint32_t data) {
        reported = text;
        reportedData = data;
    };
    world.script.Click(300).Click(301).Click(1);
    EXPECT_EQ(EngineMessageBox(nullptr, "what happened", "y", kStyleHelp, &params), 1u);
    auto help = platform::testing::TakeHelpRequest();
    ASSERT_TRUE(help.has_value());
    EXPECT_EQ(help->path, "/opt/app/viewer.hlp");
    EXPECT_EQ(help->command, platform::kHelpContext);
    EXPECT_EQ(help->data, 77u);
    EXPECT_EQ(reported, "what happened");
    EXPECT_EQ(reportedData, 5u);
}

TEST(MessageBoxHelpAndReport, HelpWithoutAnExtensionDoesNothing)
{
    for (const char* path : {"/opt/app/viewer", "/opt/app.d/viewer"}) {
        MessageBoxWorld world;
        platform::testing::ExecutablePathAs program(path);
        world.script.Click(300).Click(1);
        EngineMessageBox(nullptr, "x", "y", kStyleHelp, nullptr);
        EXPECT_FALSE(platform::testing::TakeHelpRequest().has_value()) << path;
    }
    MessageBoxWorld world;
    world.script.Click(300).Click(1);
    EngineMessageBox(nullptr, "x", "y", kStyleHelp, nullptr);
    auto help = platform::testing::TakeHelpRequest();
    ASSERT_TRUE(help.has_value());
    EXPECT_EQ(help->command, platform::kHelpPartialKey);
    EXPECT_EQ(help->data, 0u);
}
