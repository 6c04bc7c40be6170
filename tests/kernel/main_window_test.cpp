#include "kernel/win_platform.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <iostream>
#include <new>
#include <sstream>

#include "testing/message_box_script.h"
#include "testing/window_hooks.h"
#include "testing/test_files.h"

namespace {

using zandrel_test::CoutCapture;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { platform::testing::ResetWindowState("Korvane"); }
    void TearDown() override { platform::testing::ResetWindowState("Korvane"); }
};

} // namespace

TEST_F(MainWindowTest, CreatesThePopupSizedAsAnOverlappedWindow)
{
    MainWindow mainWindow;
    CoutCapture out;
    platform::Window* window = mainWindow.CreateMainWindow(platform::CurrentInstance(), 1280, 720);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(mainWindow.handle, window);
    EXPECT_EQ(mainWindow.windowClass.className, "Korvane");
    EXPECT_EQ(mainWindow.windowClass.iconResource, 101);
    EXPECT_EQ(platform::WindowTitle(window), "Zandrel Engine");
    EXPECT_TRUE(platform::IsWindowVisible(window));
    const platform::Rect rect = platform::WindowRect(window);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 1280 + 2 * platform::kFrameThickness);
    EXPECT_EQ(rect.bottom, 720 + 2 * platform::kFrameThickness + platform::kCaptionHeight);
    std::ostringstream handle;
    handle << static_cast<const void*>(window) << "\n";
    EXPECT_EQ(out.Text(), handle.str());
}

// A size near the end of int: the frame is added without wrapping round.
TEST_F(MainWindowTest, ASizeNearTheEndOfIntMakesTheLargestWindow)
{
    MainWindow mainWindow;
    CoutCapture out;
    platform::Window* window = mainWindow.CreateMainWindow(platform::CurrentInstance(), INT_MAX, INT_MAX - 1);
    ASSERT_NE(window, nullptr);
    const platform::Rect rect = platform::WindowRect(window);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, INT_MAX);
    EXPECT_EQ(rect.bottom, INT_MAX);
}

TEST_F(MainWindowTest, FailedRegistrationIsReportedAndCreationGoesOn)
{
    MainWindow mainWindow;
    platform::testing::ScriptedMessageBoxes boxes;
    platform::testing::FailNextClassRegistration(87);
    CoutCapture out;
    platform::Window* window = mainWindow.CreateMainWindow(platform::CurrentInstance(), 640, 480);
    EXPECT_EQ(out.Text().rfind("Can't register window class: 87\n", 0), 0u);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't register window class.\n"));
    EXPECT_EQ(window, nullptr); // the class never existed
}

TEST_F(MainWindowTest, DestroyingTheWindowPostsQuit)
{
    platform::Message message;
    {
        MainWindow mainWindow;
        CoutCapture out;
        mainWindow.CreateMainWindow(platform::CurrentInstance(), 10, 10);
        EXPECT_FALSE(platform::PeekMessage(message, false));
    }
    ASSERT_TRUE(platform::PeekMessage(message, true));
    EXPECT_EQ(message.message, platform::kMsgQuit);
    EXPECT_EQ(message.wParam, 0u);
}
