#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "testing/dialog_hooks.h"
#include "testing/dialog_script.h"
#include "platform/window/beep.h"
#include "platform/window/dialog.h"
#include "platform/window/dialog_template.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"
#include "platform/window/terminal_dialog.h"
#include "platform/window/text_metrics.h"
#include "platform/window/timers.h"

using namespace platform;

namespace {

thread_local std::vector<std::pair<uint32_t, uintptr_t>> received;

intptr_t RecordingDialogProc(Window*, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == kMsgCommand || message == kMsgInitDialog || message == kMsgTimer || message == kMsgLButtonDown)
        received.emplace_back(message, message == kMsgInitDialog ? 0 : wParam);
    return 0;
}

DialogTemplate TwoButtonsAndACheckBox()
{
    DialogTemplate t;
    t.style = 0x90C80880;
    t.cx = 100;
    t.cy = 50;
    t.title = "Title";
    t.items.push_back({0x50000000, 0, 4, 4, 80, 10, 1001, kClassAtomStatic, "Message"});
    t.items.push_back({0x50010001, 0, 4, 20, 30, 12, 1, kClassAtomButton, "&Go"});
    t.items.push_back({0x50010000, 0, 40, 20, 30, 12, 2, kClassAtomButton, "&Stop"});
    t.items.push_back({0x50010003, 0, 4, 36, 60, 10, 5555, kClassAtomButton, "&Remember"});
    return t;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        received.clear();
        auto t = TwoButtonsAndACheckBox();
        block_.resize(DialogTemplateSize(t));
        ASSERT_TRUE(WriteDialogTemplate(t, block_.data(), block_.size()));
        dialog_ = CreateDialogFromTemplate(block_.data(), block_.size(), nullptr, RecordingDialogProc, 99);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override { DestroyWindow(dialog_); }
    void Key(int key)
    {
        IsDialogMessage(dialog_, {GetFocus() ? GetFocus() : dialog_, kMsgKeyDown, static_cast<uintptr_t>(key), 0});
    }

    platform::testing::ScriptedDialogs script_;
    std::vector<uint8_t> block_;
    Window* dialog_ = nullptr;
};

} // namespace

TEST_F(DialogTest, TheTemplateBecomesADialogWithItsControls)
{
    EXPECT_EQ(WindowClassName(dialog_), kDialogClassName);
    EXPECT_EQ(WindowTitle(dialog_), "Title");
    auto children = ChildWindows(dialog_);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(WindowClassName(children[0]), kStaticClassName);
    EXPECT_EQ(WindowClassName(children[1]), kButtonClassName);
    EXPECT_EQ(WindowTitle(GetDialogItem(dialog_, 2)), "&Stop");
    const Rect go = WindowRect(GetDialogItem(dialog_, 1));
    EXPECT_EQ(go.left, 4 * 8 / 4);
    EXPECT_EQ(go.bottom - go.top, 12 * 16 / 8);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0].first, kMsgInitDialog);
    EXPECT_EQ(GetActiveWindow(), dialog_);
}

TEST_F(DialogTest, KeysTurnIntoCommands)
{
    Key(kVkReturn);
    Key(kVkEscape);
    Key('S');
    Key('s' - 32);
    SetFocus(GetDialogItem(dialog_, 2));
    Key(kVkSpace);
    Key(kVkReturn);
    std::vector<std::pair<uint32_t, uintptr_t>> commands(received.begin() + 1, received.end());
    EXPECT_EQ(commands, (std::vector<std::pair<uint32_t, uintptr_t>>{
                            {kMsgCommand, 1}, {kMsgCommand, 2}, {kMsgCommand, 2}, {kMsgCommand, 2},
                            {kMsgCommand, 2}, {kMsgCommand, 2}}));
}

TEST_F(DialogTest, TabMovesTheFocusAmongEnabledStops)
{
    SetFocus(GetDialogItem(dialog_, 1));
    EnableWindow(GetDialogItem(dialog_, 2), false);
    Key(kVkTab);
    EXPECT_EQ(GetFocus(), GetDialogItem(dialog_, 5555));
    Key(kVkTab);
    EXPECT_EQ(GetFocus(), GetDialogItem(dialog_, 1));
}

TEST_F(DialogTest, DisabledButtonsAndAGreyedCloseDoNothing)
{
    EnableWindow(GetDialogItem(dialog_, 2), false);
    Key(kVkEscape);
    Key('S');
    ClickControl(GetDialogItem(dialog_, 2));
    EnableSystemClose(dialog_, false);
    SendMessage(dialog_, kMsgSysCommand, kSysCommandClose, 0);
    EXPECT_EQ(received.size(), 1u);
    EnableSystemClose(dialog_, true);
    SendMessage(dialog_, kMsgSysCommand, kSysCommandClose, 0);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1], (std::pair<uint32_t, uintptr_t>{kMsgCommand, 2}));
}

TEST_F(DialogTest, CheckBoxesToggleAndStaticsPassClicksThrough)
{
    Window* box = GetDialogItem(dialog_, 5555);
    EXPECT_EQ(SendMessage(box, kMsgButtonGetCheck, 0, 0), kUnchecked);
    Key('R');
    EXPECT_EQ(SendMessage(box, kMsgButtonGetCheck, 0, 0), kChecked);
    ClickControl(box);
    EXPECT_EQ(SendMessage(box, kMsgButtonGetCheck, 0, 0), kUnchecked);
    ClickControl(GetDialogItem(dialog_, 1001));
    EXPECT_EQ(received.back().first, kMsgLButtonDown);
}

TEST_F(DialogTest, TimersFireOnTheVirtualClock)
{
    ASSERT_TRUE(SetTimer(dialog_, 1, 1000));
    Message message;
    EXPECT_FALSE(PeekMessage(message, true));
    detail::AdvanceVirtualTimerClock(999);
    EXPECT_FALSE(PeekMessage(message, true));
    detail::AdvanceVirtualTimerClock(1);
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.message, kMsgTimer);
    EXPECT_EQ(message.wParam, 1u);
    EXPECT_FALSE(PeekMessage(message, true));
    EXPECT_TRUE(KillTimer(dialog_, 1));
    detail::AdvanceVirtualTimerClock(5000);
    EXPECT_FALSE(PeekMessage(message, true));
}

TEST_F(DialogTest, TheTerminalPictureShowsMnemonicsFocusAndState)
{
    SetFocus(GetDialogItem(dialog_, 1));
    EnableWindow(GetDialogItem(dialog_, 2), false);
    EXPECT_EQ(detail::DialogPicture(dialog_), "\n== Title ==\nMessage\n >[G]o  ([S]top)  [ ] [R]emember\n");
}

TEST(DialogTemplate, MalformedBlocksAreRefused)
{
    auto t = TwoButtonsAndACheckBox();
    std::vector<uint8_t> block(DialogTemplateSize(t));
    WriteDialogTemplate(t, block.data(), block.size());
    for (size_t cut = 0; cut < block.size(); cut += 7)
        EXPECT_FALSE(ReadDialogTemplate(block.data(), cut).has_value()) << cut;
    EXPECT_FALSE(WriteDialogTemplate(t, block.data(), block.size() - 1));
    EXPECT_EQ(CreateDialogFromTemplate(block.data(), 10, nullptr, RecordingDialogProc, 0), nullptr);
}

TEST(DialogTemplate, SizesArePaddedBetweenItemsOnly)
{
    DialogTemplate t;
    t.title = "ab"; // header 18 + 4 + 6 = 28
    EXPECT_EQ(DialogTemplateSize(t), 28u);
    t.items.push_back({0, 0, 0, 0, 0, 0, 1, kClassAtomButton, "x"}); // 24 + 4
    EXPECT_EQ(DialogTemplateSize(t), 28u + 28u);
    t.items.push_back({0, 0, 0, 0, 0, 0, 2, kClassAtomButton, "xy"}); // 24 + 6, the first padded to 28
    EXPECT_EQ(DialogTemplateSize(t), 28u + 28u + 30u);
}

TEST(TextMetrics, WrapsAtBlanksAndLineEnds)
{
    EXPECT_EQ(TextExtent("My").height, kLineHeight);
    EXPECT_EQ(WrapText("aaa bbb ccc", 7 * 7), (std::vector<std::string>{"aaa bbb", "ccc"}));
    EXPECT_EQ(WrapText("one\r\ntwo\rthree\nfour", 1000),
              (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(WrapText("toolongword x", 14), (std::vector<std::string>{"toolongword", "x"}));
    EXPECT_EQ(MeasureWrappedText("a\tb", 1000).width, 9 * kCharWidth);
    EXPECT_EQ(MeasureWrappedText("", 100).height, 0);
    EXPECT_EQ(MeasureWrappedText("end\n", 100).height, kLineHeight);
    EXPECT_EQ(MeasureWrappedText("a\n\nb", 100).height, 3 * kLineHeight);
    EXPECT_EQ(MeasureWrappedText("&OK", 100).width, 3 * kCharWidth);
}

TEST(TextMetrics, MulDivRoundsHalfAwayFromZero)
{
    EXPECT_EQ(MulDiv(38, 8, 4), 76);
    EXPECT_EQ(MulDiv(13, 7, 4), 23); // 22.75
    EXPECT_EQ(MulDiv(1, 3, 2), 2);
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(0x40000000, 4, 8), 0x20000000);
}

TEST(MessageBeep, OnlyTheLatestSoundsAreKept)
{
    platform::testing::TakeBeeps();
    for (uint32_t i = 0; i < platform::detail::kKeptBeeps + 10; ++i)
        platform::MessageBeep(i);
    const std::vector<uint32_t> beeps = platform::testing::TakeBeeps();
    ASSERT_EQ(beeps.size(), platform::detail::kKeptBeeps);
    EXPECT_EQ(beeps.front(), 10u);
    EXPECT_EQ(beeps.back(), platform::detail::kKeptBeeps + 9);
}
