#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <thread>
#include <vector>

#include "testing/window_hooks.h"
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

// Edges at the ends of int stay there instead of wrapping round.
TEST_F(WindowTest, AdjustWindowRectSaturatesAtTheEndsOfInt)
{
    struct Case {
        Rect client;
        bool hasMenu;
        Rect window;
    };
    const int top = kFrameThickness + kCaptionHeight;
    const Case cases[] = {
        {{0, 0, INT_MAX, INT_MAX}, false, {-kFrameThickness, -top, INT_MAX, INT_MAX}},
        {{INT_MIN, INT_MIN, 0, 0}, true, {INT_MIN, INT_MIN, kFrameThickness, kFrameThickness}},
        {{INT_MIN + 3, INT_MIN + top - 1, INT_MAX - 3, INT_MAX - kFrameThickness}, false,
         {INT_MIN, INT_MIN, INT_MAX, INT_MAX}},
        {{10, 20, 30, 40}, true, {10 - kFrameThickness, 20 - top - kMenuHeight, 30 + kFrameThickness, 40 + kFrameThickness}},
    };
    for (const Case& c : cases) {
        Rect rect = c.client;
        AdjustWindowRect(rect, kStyleOverlappedWindow, c.hasMenu);
        EXPECT_EQ(rect.left, c.window.left);
        EXPECT_EQ(rect.top, c.window.top);
        EXPECT_EQ(rect.right, c.window.right);
        EXPECT_EQ(rect.bottom, c.window.bottom);
    }
}

TEST_F(WindowTest, AWindowPastTheEndOfIntEndsThere)
{
    Window* window = CreateWindow(0, "TestClass", "huge", kStylePopup, 100, -5, INT_MAX, INT_MAX, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(window, nullptr);
    const Rect rect = WindowRect(window);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, -5);
    EXPECT_EQ(rect.right, INT_MAX);
    EXPECT_EQ(rect.bottom, INT_MAX - 5);
    DestroyWindow(window);
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
