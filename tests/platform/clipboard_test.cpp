#include <gtest/gtest.h>

#include <thread>

#include "testing/dialog_hooks.h"
#include "platform/window/clipboard.h"

using namespace platform;

TEST(Clipboard, HoldsOneTextSetWhileOpen)
{
    EXPECT_FALSE(SetClipboardText("closed"));
    ASSERT_TRUE(OpenClipboard());
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_FALSE(ClipboardText().has_value());
    EXPECT_TRUE(SetClipboardText("hello"));
    std::thread other([] { EXPECT_FALSE(OpenClipboard()) << "open by another thread"; });
    other.join();
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
    EXPECT_EQ(ClipboardText(), "hello");
}

TEST(Clipboard, InjectedFailures)
{
    platform::testing::FailNextClipboardOpen();
    EXPECT_FALSE(OpenClipboard());
    ASSERT_TRUE(OpenClipboard());
    platform::testing::FailNextClipboardText();
    EXPECT_FALSE(SetClipboardText("x"));
    EXPECT_TRUE(SetClipboardText("y"));
    CloseClipboard();
    EXPECT_FALSE(platform::testing::ClipboardIsOpen());
}
