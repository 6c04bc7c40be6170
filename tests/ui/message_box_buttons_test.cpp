#include <gtest/gtest.h>

#include "message_box_support.h"
#include "testing/message_box_script.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"
#include "ui/engine_message_box.h"

using platform::Window;
using Buttons = std::vector<std::pair<int, std::string>>;

namespace {

// Shows a box of `style`, looks at its buttons, then presses Escape and,
// should Escape not answer, clicks the first button.
Buttons ButtonsOfStyle(unsigned style, unsigned* answer = nullptr)
{
    MessageBoxWorld world;
    Buttons seen;
    world.script.Inspect([&](Window* dialog) { seen = ButtonsOf(dialog); });
    world.script.Key(platform::kVkEscape).Inspect([&](Window* dialog) {
        platform::ClickControl(platform::ChildWindows(dialog)[1]);
    });
    unsigned result = EngineMessageBox(nullptr, "text", "Caption", style, nullptr);
    if (answer)
        *answer = result;
    return seen;
}

} // namespace

TEST(MessageBoxButtons, EverySetShowsItsButtonsInOrder)
{
    EXPECT_EQ(ButtonsOfStyle(0), (Buttons{{1, "OK"}}));
    EXPECT_EQ(ButtonsOfStyle(1), (Buttons{{1, "OK"}, {2, "Cancel"}}));
    EXPECT_EQ(ButtonsOfStyle(2), (Buttons{{3, "&Abort"}, {4, "&Retry"}, {5, "&Ignore"}}));
    EXPECT_EQ(ButtonsOfStyle(3), (Buttons{{6, "&Yes"}, {7, "&No"}, {2, "Cancel"}}));
    EXPECT_EQ(ButtonsOfStyle(4), (Buttons{{6, "&Yes"}, {7, "&No"}}));
    EXPECT_EQ(ButtonsOfStyle(5), (Buttons{{4, "&Retry"}, {2, "Cancel"}}));
    EXPECT_EQ(ButtonsOfStyle(6), (Buttons{{2, "Cancel"}, {10, "&Try Again"}, {11, "&Continue Anyway"}}));
    EXPECT_EQ(ButtonsOfStyle(7), (Buttons{{11, "&Continue Anyway"}, {3, "&Abort"}}));
    EXPECT_EQ(ButtonsOfStyle(8), (Buttons{{14, "&Skip"}, {15, "S&kip All"}, {2, "Cancel"}}));
    EXPECT_EQ(ButtonsOfStyle(9), (Buttons{{5, "&Ignore"}, {16, "I&gnore All"}, {2, "Cancel"}}));
    for (unsigned set = 10; set <= 15; ++set)
        EXPECT_EQ(ButtonsOfStyle(set), (Buttons{{1, "OK"}})) << set;
}

TEST(MessageBoxButtons, ToAllButtonsJoinOnlyTheYesNoSets)
{
    const unsigned both = kStyleYesToAll | kStyleNoToAll;
    EXPECT_EQ(ButtonsOfStyle(3 | both),
              (Buttons{{6, "&Yes"}, {19, "Y&es to All"}, {7, "&No"}, {20, "N&o to All"}, {2, "Cancel"}}));
    EXPECT_EQ(ButtonsOfStyle(4 | kStyleNoToAll), (Buttons{{6, "&Yes"}, {7, "&No"}, {20, "N&o to All"}}));
    EXPECT_EQ(ButtonsOfStyle(1 | both), (Buttons{{1, "OK"}, {2, "Cancel"}}));
}

TEST(MessageBoxButtons, EscapeAnswersByTheSetsFlag)
{
    unsigned answer = 0;
    ButtonsOfStyle(0, &answer);
    EXPECT_EQ(answer, 1u); // OK only: Escape is OK
    ButtonsOfStyle(1, &answer);
    EXPECT_EQ(answer, 2u);
    ButtonsOfStyle(7, &answer); // ignored, so the script clicks the first button
    EXPECT_EQ(answer, 11u);
    ButtonsOfStyle(12, &answer);
    EXPECT_EQ(answer, 1u);
    ButtonsOfStyle(4, &answer);
    EXPECT_EQ(answer, 6u);
}

TEST(MessageBoxButtons, HelpAndReportFollowTheSet)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.reportCallback = [](const char*, uint32_t) {};
    Buttons seen;
    world.script.Inspect([&](Window* dialog) { seen = ButtonsOf(dialog); }).Click(1);
    EngineMessageBox(nullptr, "text", "Caption", 1 | kStyleHelp, &params);
    EXPECT_EQ(seen, (Buttons{{1, "OK"}, {2, "Cancel"}, {300, "&Help"}, {301, "Re&port"}}));
}

TEST(MessageBoxButtons, DefaultPlaceBeyondTheRowIsTheFirstButton)
{
    auto defaultOf = [](unsigned style, bool withReport) {
        MessageBoxWorld world;
        EngineMessageBoxParams params;
        if (withReport)
            params.reportCallback = [](const char*, uint32_t) {};
        int id = 0;
        world.script.Inspect([&](Window* dialog) {
            for (Window* child : platform::ChildWindows(dialog))
                if (platform::WindowClassName(child) == platform::kButtonClassName && IsDefaultButton(child))
                    id = platform::ControlId(child);
        }).Key(platform::kVkReturn).Click(2);
        unsigned answer = EngineMessageBox(nullptr, "text", "Caption", style, &params);
        // Enter presses the default button; Report leaves the box up.
        EXPECT_EQ(answer, id == 301 ? 2u : static_cast<unsigned>(id));
        return id;
    };
    EXPECT_EQ(defaultOf(0x301, false), 1);
    EXPECT_EQ(defaultOf(0x301 | kStyleHelp, true), 301);
    EXPECT_EQ(defaultOf(0x102, false), 4);
    EXPECT_EQ(defaultOf(0x600, false), 1);
}

TEST(MessageBoxButtons, CaptionsComeFromTheStringTableUnlessAskedNot)
{
    platform::testing::StringTableAs strings({{9001, "Gut"}, {9002, "Abbrechen"}, {42, "Hallo"}});
    {
        MessageBoxWorld world;
        Buttons seen;
        std::string title, message;
        world.script.Inspect([&](Window* dialog) {
            seen = ButtonsOf(dialog);
            title = platform::WindowTitle(dialog);
            message = platform::WindowTitle(platform::GetDialogItem(dialog, kIdMessageText));
        }).Click(1);
        EngineMessageBox(nullptr, reinterpret_cast<const char*>(42), reinterpret_cast<const char*>(43), 1, nullptr);
        EXPECT_EQ(seen, (Buttons{{1, "Gut"}, {2, "Abbrechen"}}));
        EXPECT_EQ(message, "Hallo");
        EXPECT_EQ(title, ""); // a string id the table lacks
    }
    {
        MessageBoxWorld world;
        Buttons seen;
        world.script.Inspect([&](Window* dialog) { seen = ButtonsOf(dialog); }).Click(1);
        EngineMessageBox(nullptr, "x", "y", 1 | kStyleNoResourceCaptions, nullptr);
        EXPECT_EQ(seen, (Buttons{{1, "OK"}, {2, "Cancel"}}));
    }
    {
        MessageBoxWorld world;
        EngineMessageBoxParams params;
        params.useCustomCaptions = 1;
        SetParamsText(params.customCaptions[1], "Stop");
        SetParamsText(params.customCaptions[12], "never used");
        params.reportCallback = [](const char*, uint32_t) {};
        SetParamsText(params.reportCaption, "Send");
        Buttons seen;
        world.script.Inspect([&](Window* dialog) { seen = ButtonsOf(dialog); }).Click(1);
        EngineMessageBox(nullptr, "x", "y", 1, &params);
        EXPECT_EQ(seen, (Buttons{{1, "OK"}, {2, "Stop"}, {301, "Send"}}));
    }
}

TEST(MessageBoxButtons, CustomButtonsSkipEmptyPiecesAndIgnoreEscape)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    SetParamsText(params.customButtons, "Save\nDiscard\n\nCancel\nLater");
    Buttons seen;
    world.script.Inspect([&](Window* dialog) { seen = ButtonsOf(dialog); })
        .Key(platform::kVkEscape)
        .Close()
        .Click(25);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1, &params), 25u);
    EXPECT_EQ(seen, (Buttons{{23, "Save"}, {24, "Discard"}, {25, "Cancel"}, {26, "Later"}}));
}

TEST(MessageBoxButtons, CustomTextWithoutPiecesFallsBackToTheStyleSet)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    SetParamsText(params.customButtons, "\n\n");
    Buttons seen;
    world.script.Inspect([&](Window* dialog) { seen = ButtonsOf(dialog); }).Key(platform::kVkEscape);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1, &params), 2u);
    EXPECT_EQ(seen, (Buttons{{1, "OK"}, {2, "Cancel"}}));
}

TEST(MessageBoxButtons, KeysAnswerTheBox)
{
    {
        MessageBoxWorld world;
        world.script.Key('A');
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 7, nullptr), 3u) << "mnemonic of &Abort";
    }
    {
        MessageBoxWorld world;
        world.script.Key(platform::kVkTab).Key(platform::kVkSpace);
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 7, nullptr), 3u) << "Tab to Abort, Space presses it";
    }
    {
        MessageBoxWorld world;
        world.script.Key(platform::kVkTab).Key(platform::kVkReturn);
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 7, nullptr), 3u) << "Enter presses the focused button";
    }
    {
        MessageBoxWorld world;
        world.script.Close().Key(platform::kVkReturn);
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 0x37, nullptr), 11u) << "the error box ignores Close";
    }
    {
        MessageBoxWorld world;
        world.script.Close();
        EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1, nullptr), 2u);
    }
}

TEST(MessageBoxButtons, TheErrorStreamsBoxGreysCloseAndBeeps)
{
    MessageBoxWorld world;
    bool closeEnabled = true;
    std::string title;
    Buttons seen;
    world.script.Inspect([&](Window* dialog) {
        closeEnabled = platform::IsSystemCloseEnabled(dialog);
        title = platform::WindowTitle(dialog);
        seen = ButtonsOf(dialog);
    }).Key('A');
    EXPECT_EQ(EngineMessageBox(nullptr, "Something failed.\n", "Zandrel Engine - error", 0x37, nullptr), 3u);
    EXPECT_FALSE(closeEnabled);
    EXPECT_EQ(title, "Zandrel Engine - error");
    EXPECT_EQ(seen, (Buttons{{11, "&Continue Anyway"}, {3, "&Abort"}}));
    EXPECT_EQ(platform::testing::TakeBeeps(), std::vector<uint32_t>{0x30});
}

TEST(MessageBoxButtons, NullCaptionIsErrorAndNoSoundStaysQuiet)
{
    MessageBoxWorld world;
    std::string title;
    world.script.Inspect([&](Window* dialog) { title = platform::WindowTitle(dialog); }).Click(1);
    EngineMessageBox(nullptr, nullptr, nullptr, 0x10 | kStyleNoSound, nullptr);
    EXPECT_EQ(title, "Error");
    EXPECT_TRUE(platform::testing::TakeBeeps().empty());
}

TEST(MessageBoxButtons, SystemModalWithHandIconTakesThePlainBox)
{
    platform::testing::ScriptedMessageBoxes plain(4);
    MessageBoxWorld world;
    EXPECT_EQ(EngineMessageBox(nullptr, "t", "c", 0x1010 | 5, nullptr), 4u);
    EXPECT_EQ(EngineMessageBox(nullptr, "t", "c", 0x1030 | 5, nullptr), 4u);
    ASSERT_EQ(plain.Shown().size(), 2u);
    EXPECT_TRUE(platform::testing::TakeBeeps().empty()) << "the plain box rings its own sound, not ours";
}

TEST(MessageBoxButtons, SystemModalWithoutHandIconIsOurOwnSysModalDialog)
{
    MessageBoxWorld world;
    uint32_t style = 0;
    world.script.Inspect([&](Window* dialog) { style = platform::WindowStyle(dialog); }).Click(1);
    EXPECT_EQ(EngineMessageBox(nullptr, "t", "c", 0x1020, nullptr), 1u);
    EXPECT_EQ(style, 0x90C80882u);
}

TEST(MessageBoxButtons, ScriptedBoxesStillAnswerForTheErrorStream)
{
    platform::testing::ScriptedMessageBoxes boxes(3);
    EXPECT_EQ(EngineMessageBox(nullptr, "text", "Zandrel Engine - error", 0x37, nullptr), 3u);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].caption, "Zandrel Engine - error");
    EXPECT_EQ(boxes.Shown()[0].text, "text");
}

TEST(MessageBoxButtons, QuitWhileUpEndsWithNoAnswerAndIsSeenAgain)
{
    MessageBoxWorld world;
    world.script.PostQuit(7);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1, nullptr), kResultNoDialog);
    platform::Message message;
    ASSERT_TRUE(platform::PeekMessage(message, true));
    EXPECT_EQ(message.message, platform::kMsgQuit);
    EXPECT_EQ(message.wParam, 7u);
}

TEST(MessageBoxButtons, TheOwnerIsDisabledWhileUpAndEnabledAfter)
{
    platform::WindowClass windowClass;
    windowClass.className = "MessageBoxOwner";
    windowClass.procedure = platform::DefaultWindowProc;
    platform::RegisterWindowClass(windowClass);
    Window* owner = platform::CreateWindow(0, "MessageBoxOwner", "main", platform::kStylePopup, 100, 100, 400, 300,
                                           nullptr, nullptr, platform::CurrentInstance());
    platform::SetActiveWindow(owner);
    {
        MessageBoxWorld world;
        bool ownerEnabled = true;
        platform::Rect rect;
        world.script.Inspect([&](Window* dialog) {
            ownerEnabled = platform::IsWindowEnabled(owner);
            rect = platform::WindowRect(dialog);
        }).Click(1);
        EngineMessageBox(nullptr, "x", "y", 0, nullptr);
        EXPECT_FALSE(ownerEnabled);
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        EXPECT_EQ(rect.left, 300 - width / 2) << "centred on the owner";
        EXPECT_EQ(rect.top, 250 - height / 2);
        EXPECT_TRUE(platform::IsWindowEnabled(owner));
    }
    platform::DestroyWindow(owner);
    platform::UnregisterWindowClass("MessageBoxOwner");
}

TEST(MessageBoxButtons, TopmostAndAskedPositionsAreKept)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.x = 40;
    params.y = 60;
    bool topmost = false;
    platform::Rect rect;
    world.script.Inspect([&](Window* dialog) {
        topmost = platform::IsWindowTopmost(dialog);
        rect = platform::WindowRect(dialog);
    }).Click(1);
    EngineMessageBox(nullptr, "x", "y", kStyleTopmost, &params);
    EXPECT_TRUE(topmost);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 60);
}
