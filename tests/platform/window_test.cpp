#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <vector>

#include "platform/testing/window_hooks.h"
#include "platform/window/close_signals.h"
#include "platform/window/message_queue.h"
#include "platform/window/window.h"

using namespace platform;

namespace {

struct Seen {
    Window* window;
    uint32_t message;
    uintptr_t wParam;
};
thread_local std::vector<Seen> seen;

intptr_t RecordingProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    seen.push_back({window, message, wParam});
    if (message == kMsgDestroy)
        PostQuitMessage(3);
    return DefaultWindowProc(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::ResetWindowState("TestClass");
        seen.clear();
        WindowClass windowClass;
        windowClass.procedure = RecordingProc;
        windowClass.className = "TestClass";
        ASSERT_TRUE(RegisterWindowClass(windowClass));
    }
    void TearDown() override
    {
        for (Window* window : created_)
            DestroyWindow(window);
        platform::testing::ResetWindowState("TestClass");
    }
    Window* Make(const std::string& title = "t")
    {
        Window* window = CreateWindow(0, "TestClass", title, kStylePopup, 0, 0, 10, 10, nullptr, nullptr,
                                      CurrentInstance());
        created_.push_back(window);
        return window;
    }

private:
    std::vector<Window*> created_;
};

} // namespace

TEST_F(WindowTest, ClassesRegisterOnce)
{
    WindowClass again;
    again.procedure = RecordingProc;
    again.className = "TestClass";
    EXPECT_FALSE(RegisterWindowClass(again));
    EXPECT_EQ(LastWindowError(), kErrorClassAlreadyExists);

    platform::testing::FailNextClassRegistration(5);
    again.className = "Other";
    EXPECT_FALSE(RegisterWindowClass(again));
    EXPECT_EQ(LastWindowError(), 5u);
    EXPECT_TRUE(RegisterWindowClass(again));
    EXPECT_TRUE(UnregisterWindowClass("Other"));
}

TEST_F(WindowTest, UnknownClassMakesNoWindow)
{
    EXPECT_EQ(CreateWindow(0, "Nope", "x", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(LastWindowError(), kErrorClassNotFound);
}

TEST_F(WindowTest, AdjustWindowRectAddsAnOverlappedFrame)
{
    Rect rect{0, 0, 1280, 720};
    AdjustWindowRect(rect, kStyleOverlappedWindow, false);
    EXPECT_EQ(rect.right - rect.left, 1280 + 2 * kFrameThickness);
    EXPECT_EQ(rect.bottom - rect.top, 720 + 2 * kFrameThickness + kCaptionHeight);
    Rect popup{0, 0, 5, 5};
    AdjustWindowRect(popup, kStylePopup, false);
    EXPECT_EQ(popup.right, 5);
}

TEST_F(WindowTest, PostedMessagesArriveInOrderThenQuit)
{
    Window* window = Make("Zandrel Engine");
    EXPECT_EQ(WindowTitle(window), "Zandrel Engine");
    EXPECT_FALSE(IsWindowVisible(window));
    ShowWindow(window);
    EXPECT_TRUE(IsWindowVisible(window));

    PostQuitMessage(9);
    ASSERT_TRUE(PostMessage(window, 0x400, 1, 0));
    ASSERT_TRUE(PostMessage(window, 0x401, 2, 0));
    Message message;
    ASSERT_TRUE(PeekMessage(message, false));
    EXPECT_EQ(message.message, 0x400u); // looked at, still there
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.message, 0x400u);
    DispatchMessage(message);
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.message, 0x401u);
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.message, kMsgQuit);
    EXPECT_EQ(message.wParam, 9u);
    EXPECT_FALSE(PeekMessage(message, true));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, 1u);
}

TEST_F(WindowTest, MessagesReachTheOwningThreadsQueue)
{
    Window* window = Make();
    std::thread([&] { EXPECT_TRUE(PostMessage(window, 0x400, 7, 0)); }).join();
    Message message;
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.wParam, 7u);

    bool otherSawNothing = false;
    std::thread([&] {
        Message m;
        otherSawNothing = !PeekMessage(m, true);
    }).join();
    EXPECT_TRUE(otherSawNothing);
}

TEST_F(WindowTest, DestroySendsDestroyAndForgetsTheWindow)
{
    Window* window = Make();
    PostMessage(window, 0x400, 0, 0);
    ASSERT_TRUE(DestroyWindow(window));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, kMsgDestroy);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_FALSE(PostMessage(window, 0x400, 0, 0));

    Message message;
    ASSERT_TRUE(PeekMessage(message, true)); // posted before the destruction
    EXPECT_EQ(DispatchMessage(message), 0);  // reaches nothing
    EXPECT_EQ(seen.size(), 1u);
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.message, kMsgQuit);
}

TEST_F(WindowTest, CloseSignalBecomesACloseMessageOfThisThreadsWindows)
{
    Window* first = Make();
    Window* second = Make();
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        seen.clear();
        platform::testing::RecordCloseSignal(signal);
        bool otherTook = true;
        std::thread([&] {
            Message m;
            otherTook = PeekMessage(m, true); // a thread without windows leaves it
        }).join();
        EXPECT_FALSE(otherTook);
        EXPECT_TRUE(CloseSignalPending());

        Message message;
        ASSERT_TRUE(PeekMessage(message, true));
        EXPECT_EQ(message.window, first);
        EXPECT_EQ(message.message, kMsgClose);
        ASSERT_TRUE(PeekMessage(message, true));
        EXPECT_EQ(message.window, second);
        EXPECT_FALSE(CloseSignalPending());
        if (signal != SIGHUP)
            continue;
        // Dispatched, the default procedure destroys the window.
        DispatchMessage(message);
        EXPECT_FALSE(IsWindow(second));
        ASSERT_TRUE(PeekMessage(message, true));
        EXPECT_EQ(message.message, kMsgQuit);
    }
    EXPECT_TRUE(IsWindow(first));
}

TEST_F(WindowTest, ARealSignalIsOnlyRecorded)
{
    Make(); // installs the handlers
    std::raise(SIGINT);
    EXPECT_TRUE(CloseSignalPending());
    Message message;
    ASSERT_TRUE(PeekMessage(message, true));
    EXPECT_EQ(message.message, kMsgClose);
}
