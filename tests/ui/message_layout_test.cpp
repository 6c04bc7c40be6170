#include <gtest/gtest.h>

#include "message_box_support.h"
#include "platform/window/dialog_template.h"
#include "platform/window/text_metrics.h"
#include "ui/button_sets.h"
#include "ui/engine_message_box.h"
#include "ui/message_dialog.h"

namespace {

std::unique_ptr<MessageDialog> Build(const std::string& text, uint32_t style, EngineMessageBoxParams params = {})
{
    return BuildMessageDialog(nullptr, text.c_str(), "Caption", style, params);
}

const DialogItem* Item(const MessageDialog& dialog, unsigned id)
{
    for (const auto& item : dialog.items)
        if (item->id == id)
            return item.get();
    return nullptr;
}

// A text of `words` words of four letters: 5 characters a word with its blank.
std::string Words(int words)
{
    std::string text;
    for (int i = 0; i < words; ++i)
        text += i ? " word" : "word";
    return text;
}

} // namespace

TEST(MessageLayout, TheMessageWrapsAtTheWidthLimit)
{
    platform::testing::SystemMetricsAs metrics(OlderLook());
    // 592 pixels hold 84 characters of 7 pixels: 17 words of four letters.
    const auto plain = Build(Words(40), 1);
    EXPECT_EQ(plain->messageRect.right - 28, 84 * 7);
    EXPECT_EQ(platform::MeasureWrappedText(Words(40), 587).width, 79 * 7);

    const auto withIcon = Build(Words(40), 0x31);
    EXPECT_EQ(withIcon->messageRect.right - withIcon->messageRect.left - 12,
              platform::MeasureWrappedText(Words(40), 592 - 16 - 32).width);

    EngineMessageBoxParams vista;
    vista.options = kOptionVistaStyle;
    const auto newer = Build(Words(40), 1, vista);
    EXPECT_EQ(newer->messageRect.right - 28, platform::MeasureWrappedText(Words(40), 502).width);
    EXPECT_EQ(newer->messageRect.top, 32);

    vista.options = kOptionVistaStyle | kOptionNarrow;
    const auto narrow = Build(Words(40), 1, vista);
    EXPECT_EQ(narrow->messageRect.right - 28, platform::MeasureWrappedText(Words(40), 1024 / 3).width);
}

TEST(MessageLayout, SizesComeFromTheDialogBaseUnits)
{
    platform::testing::SystemMetricsAs metrics(OlderLook());
    const auto d = Build("x", 1);
    EXPECT_EQ(d->buttonWidth, 76);
    EXPECT_EQ(d->buttonHeight, 24);
    EXPECT_EQ(d->checkBoxHeight, 20);
    EXPECT_EQ(d->widths[SlotOk], 76);
    EXPECT_EQ(d->widths[SlotContinue], 16 * 7 + 20);
    EngineMessageBoxParams timed;
    timed.timeoutSeconds = 5;
    const auto t = Build("x", 1, timed);
    EXPECT_EQ(t->widths[SlotOk], 76 + 26);
    EXPECT_EQ(Item(*t, 1)->cx, (76 + 26) * 4 / 8);
}

TEST(MessageLayout, TheButtonRowIsCentredBelowTheMessage)
{
    platform::testing::SystemMetricsAs metrics(OlderLook());
    const auto d = Build("Hello", 12);
    const int messageBottom = 16 + 29;
    const int rowTop = messageBottom + 5;
    const DialogItem* ok = Item(*d, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->y, rowTop * 8 / 16);
    const int width = std::max(5 * 7 + 28, 76 + 32);
    EXPECT_EQ(ok->x, (width - 76) / 2 * 4 / 8);
    EXPECT_EQ(d->templateCx, width * 4 / 8);
    EXPECT_EQ(d->templateCy, (rowTop + 24 + 12) * 8 / 16);
    EXPECT_EQ(d->flags, 0u);
}

TEST(MessageLayout, ACheckBoxAddsItsHeightAndEightPixels)
{
    platform::testing::SystemMetricsAs metrics(OlderLook());
    const auto without = Build("Hello", 1);
    const auto with = Build("Hello", 1 | kStyleTellAgainBox);
    EXPECT_EQ((with->templateCy - without->templateCy) * 16 / 8, 20 + 8);
    const DialogItem* box = Item(*with, kIdCheckBox);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text, "Don't tell me again");
    EXPECT_EQ(box->style, 0x50010003u);
    EXPECT_EQ(with->flags, kFlagHasCancel | 2u);
}

TEST(MessageLayout, TheIconTakesItsPlaceAndTheNewerLookMovesATallMessageUp)
{
    EngineMessageBoxParams vista;
    vista.options = kOptionVistaStyle;
    const auto oneLine = Build("one", 0x30, vista);
    EXPECT_EQ(oneLine->messageRect.top, 32);
    EXPECT_EQ(oneLine->messageRect.left, 16 + 24 + 32);
    const auto twoLines = Build("one\ntwo", 0x30, vista);
    EXPECT_EQ(twoLines->messageRect.top, 24);
    EXPECT_EQ(twoLines->messageRect.bottom - twoLines->messageRect.top, 32 + 61 - 32);
    const DialogItem* icon = Item(*twoLines, kIdIcon);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->x, 24 * 4 / 8);
    EXPECT_TRUE(twoLines->rightAligned);
    EXPECT_NE(twoLines->backgroundBrush, nullptr);
}

TEST(MessageLayout, TheTemplateSizeIsWhatIsWrittenAndReadsBack)
{
    const auto d = Build("Hello there", 3 | kStyleYesToAll | kStyleNoToAll | kStyleHelp | kStyleAskAgainBox | 0x30);
    platform::DialogTemplate out;
    out.style = d->templateStyle;
    out.cx = d->templateCx;
    out.cy = d->templateCy;
    out.title = "Caption";
    for (const auto& item : d->items)
        out.items.push_back({item->style, 0, item->x, item->y, item->cx, item->cy, item->id, item->classAtom,
                             item->text});
    EXPECT_EQ(out.items.size(), 9u);
    std::vector<uint8_t> block(platform::DialogTemplateSize(out));
    ASSERT_TRUE(platform::WriteDialogTemplate(out, block.data(), block.size()));
    auto back = platform::ReadDialogTemplate(block.data(), block.size());
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->items.size(), out.items.size());
    EXPECT_EQ(back->items.back().text, "Don't ask me again");
    EXPECT_EQ(back->title, "Caption");
    EXPECT_FALSE(platform::ReadDialogTemplate(block.data(), block.size() - 1).has_value());
}

TEST(MessageLayout, AHugeMessageStaysWithinTheTemplatesSixteenBits)
{
    std::string lines;
    for (int i = 0; i < 5000; ++i)
        lines += "line\n";
    const auto d = Build(lines, 0);
    EXPECT_EQ(d->templateCy, 32767);
    EXPECT_GT(d->templateCx, 0);
}
