// Message boxes on a display (a virtual X server of the test's own) are real
// dialog windows: painted in their layout, answered with keys and clicks
// typed through XTEST, counting down in their caption and default button,
// copied by Ctrl+C onto the window system's clipboard. Each box runs on a
// thread of its own, owned by a window of that thread, as any thread may
// raise one.
#include <gtest/gtest.h>

#include "testing/virtual_display.h"

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/window.h"
#include "ui/engine_message_box.h"

using namespace zandrel_test;

namespace {

constexpr const char* kOwnerClass = "MessageBoxWindowOwner";

class BoxOnThread {
public:
    BoxOnThread(std::string text, std::string caption, unsigned style, EngineMessageBoxParams params = {})
    {
        thread_ = std::thread([this, text, caption, style, params] {
            platform::Window* owner = platform::CreateWindow(0, kOwnerClass, "owner", platform::kStylePopup, 400,
                                                             300, 480, 360, nullptr, nullptr, platform::CurrentInstance());
            owner_ = owner;
            result_ = EngineMessageBox(owner, text.c_str(), caption.c_str(), style, &params);
            owner_ = nullptr;
            platform::DestroyWindow(owner);
        });
    }
    ~BoxOnThread()
    {
        if (thread_.joinable())
            thread_.join();
    }

    // The dialog once it is up, or null.
    platform::Window* Dialog() const
    {
        platform::Window* dialog = nullptr;
        VirtualDisplay::WaitFor([&] {
            platform::Window* owner = owner_;
            dialog = owner ? platform::GetLastActivePopup(owner) : nullptr;
            return dialog && dialog != owner;
        });
        return dialog && dialog != owner_.load() ? dialog : nullptr;
    }
    unsigned Result()
    {
        thread_.join();
        return result_;
    }

private:
    std::thread thread_;
    std::atomic<platform::Window*> owner_{nullptr};
    std::atomic<unsigned> result_{0};
};

class MessageBoxWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZANDREL_NEED_DISPLAY(display_);
        platform::WindowClass windowClass;
        windowClass.className = kOwnerClass;
        windowClass.procedure = platform::DefaultWindowProc;
        platform::RegisterWindowClass(windowClass);
    }
    void TearDown() override { platform::UnregisterWindowClass(kOwnerClass); }

    // The real window with that caption, focused as after a click on it.
    ::Window Shown(const std::string& caption)
    {
        const auto window = display_.WaitForWindow(caption);
        EXPECT_TRUE(window.has_value()) << caption;
        if (window)
            display_.Focus(*window);
        return window.value_or(0);
    }

    VirtualDisplay display_;
};

bool Dark(uint32_t rgb)
{
    return ((rgb >> 16) & 0xFF) < 0x60 && ((rgb >> 8) & 0xFF) < 0x60 && (rgb & 0xFF) < 0x60;
}

TEST_F(MessageBoxWindow, PaintsTheTextIconAndEveryCaptionInItsLayoutPlace)
{
    EngineMessageBoxParams params;
    params.backgroundColour = 0x00E0F0FF; // blue, green, red: a pale orange
    params.textColour = 0x00000080;       // dark red
    BoxOnThread box("Save the changes to the scene before leaving?", "Painted box",
                    3 | kStyleIconQuestion | kStyleHelp | kStyleAskAgainBox, params);
    platform::Window* dialog = box.Dialog();
    ASSERT_NE(dialog, nullptr);
    const ::Window window = Shown("Painted box");
    const platform::Rect client = platform::WindowRect(dialog);
    const int width = client.right - client.left, height = client.bottom - client.top;
    EXPECT_EQ(display_.GeometryOf(window).width, width);
    std::vector<uint32_t> picture;
    ASSERT_TRUE(VirtualDisplay::WaitFor([&] {
        picture = display_.Capture(window, width, height);
        return picture.size() == size_t(width) * size_t(height) && picture[size_t(height - 2) * size_t(width) + 2] == 0xF0F0F0;
    })) << "the button face below the message area";

    const auto within = [&](unsigned id, const std::function<bool(uint32_t)>& wanted) {
        const platform::Rect r = platform::WindowRect(platform::GetDialogItem(dialog, static_cast<int>(id)));
        int count = 0;
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, height); ++y)
            for (int x = std::max(r.left, 0); x < std::min(r.right, width); ++x)
                count += wanted(picture[size_t(y) * size_t(width) + size_t(x)]);
        return count;
    };
    EXPECT_GT(within(kIdIcon, [](uint32_t c) { return (c & 0xFF) > 0xB0 && (c >> 16) < 0x60; }), 200) << "blue disc";
    EXPECT_GT(within(kIdMessageText, [](uint32_t c) { return c == 0xFFF0E0; }), 100) << "its background";
    EXPECT_GT(within(kIdMessageText, [](uint32_t c) { return (c >> 16) > 0x60 && (c & 0xFFFF) < 0x3030; }), 30)
        << "its text";
    for (unsigned id : {kIdYes, kIdNo, kIdCancel, kIdHelpButton, kIdCheckBox})
        EXPECT_GT(within(id, Dark), 10) << "caption of " << id;

    display_.Press(XK_Escape);
    EXPECT_EQ(box.Result(), kIdCancel);
}

struct Answer {
    const char* name;
    unsigned style;
    std::function<void(VirtualDisplay&, ::Window, platform::Window* dialog)> act;
    unsigned result;
};

void PrintTo(const Answer& answer, std::ostream* out)
{
    *out << answer.name;
}

class MessageBoxAnswers : public MessageBoxWindow, public ::testing::WithParamInterface<Answer> {};

TEST_P(MessageBoxAnswers, KeysAndClicksChooseTheAnswer)
{
    const Answer& answer = GetParam();
    BoxOnThread box("Choose.", answer.name, answer.style | kStyleNoSound);
    platform::Window* dialog = box.Dialog();
    ASSERT_NE(dialog, nullptr);
    const ::Window window = Shown(answer.name);
    answer.act(display_, window, dialog);
    EXPECT_EQ(box.Result(), answer.result);
}

void ClickOn(VirtualDisplay& display, ::Window window, platform::Window* dialog, unsigned id)
{
    const platform::Rect rect = platform::WindowRect(platform::GetDialogItem(dialog, static_cast<int>(id)));
    display.Click(window, rect.left + 6, (rect.top + rect.bottom) / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, MessageBoxAnswers,
    ::testing::Values(
        Answer{"EnterTheDefault", 4 | 0x100, [](VirtualDisplay& d, ::Window, platform::Window*) { d.Press(XK_Return); },
               kIdNo},
        Answer{"TabThenEnter", 4,
               [](VirtualDisplay& d, ::Window, platform::Window*) {
                   d.Press(XK_Tab);
                   d.Press(XK_Return);
               },
               kIdNo},
        Answer{"ShiftTabWrapsThenSpace", 3,
               [](VirtualDisplay& d, ::Window, platform::Window*) {
                   d.Press(XK_Tab, {XK_Shift_L});
                   d.Press(XK_space);
               },
               kIdCancel},
        Answer{"AltMnemonic", 2, [](VirtualDisplay& d, ::Window, platform::Window*) { d.Press(XK_r, {XK_Alt_L}); },
               kIdRetry},
        Answer{"EscapeCancels", 1, [](VirtualDisplay& d, ::Window, platform::Window*) { d.Press(XK_Escape); },
               kIdCancel},
        Answer{"CloseIsOkWhenOkIsAll", 0, [](VirtualDisplay& d, ::Window w, platform::Window*) { d.Close(w); }, kIdOk},
        Answer{"EscapeAndCloseDoNothingWithoutCancel", 7,
               [](VirtualDisplay& d, ::Window w, platform::Window* dialog) {
                   d.Press(XK_Escape);
                   d.Close(w);
                   ClickOn(d, w, dialog, kIdAbort);
               },
               kIdAbort},
        Answer{"ClickAButton", 3,
               [](VirtualDisplay& d, ::Window w, platform::Window* dialog) { ClickOn(d, w, dialog, kIdNo); }, kIdNo},
        Answer{"ClickTheCheckBoxThenYes", 4 | kStyleAskAgainBox,
               [](VirtualDisplay& d, ::Window w, platform::Window* dialog) {
                   ClickOn(d, w, dialog, kIdCheckBox);
                   ClickOn(d, w, dialog, kIdYes);
               },
               kStyleAskAgainBox | kIdYes}),
    [](const ::testing::TestParamInfo<Answer>& info) { return std::string(info.param.name); });

// Reads the caption and the OK button as they change: the disabled period
// counts down in the caption with the button disabled, the countdown on the
// button, and its end answers OK as chosen by the countdown.
TEST_F(MessageBoxWindow, TheCountdownAndTheDisabledPeriodReadOverThreeSeconds)
{
    EngineMessageBoxParams params;
    params.timeoutSeconds = 3;
    params.disabledSeconds = 2;
    BoxOnThread box("Going on by itself.", "Counting", kStyleNoSound, params);
    platform::Window* dialog = box.Dialog();
    ASSERT_NE(dialog, nullptr);
    Shown("Counting");
    std::vector<std::string> captions, buttons;
    std::vector<bool> enabled;
    while (platform::IsWindow(dialog)) {
        platform::Window* ok = platform::GetDialogItem(dialog, kIdOk);
        const std::string caption = platform::WindowTitle(dialog), button = platform::WindowTitle(ok);
        if (!caption.empty() && (captions.empty() || captions.back() != caption)) {
            captions.push_back(caption);
            enabled.push_back(platform::IsWindowEnabled(ok));
            EXPECT_TRUE(display_.WaitForWindow(caption).has_value()) << "the real window's caption " << caption;
        }
        if (!button.empty() && (buttons.empty() || buttons.back() != button))
            buttons.push_back(button);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(box.Result(), kResultTimedOut | kIdOk);
    EXPECT_EQ(captions, (std::vector<std::string>{"Counting", "Counting 2", "Counting 1", "Counting"}));
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, false, true}));
    if (buttons.size() == 5 && buttons.back() == "OK")
        buttons.pop_back(); // the command that ends it may be seen putting the caption back
    EXPECT_EQ(buttons, (std::vector<std::string>{"OK", "OK = 3", "OK = 2", "OK = 1"}));

    // A click on the dialog's surface stops a countdown for good.
    params.disabledSeconds = 0;
    BoxOnThread counting("Click me.", "Clicked", kStyleNoSound, params);
    dialog = counting.Dialog();
    ASSERT_NE(dialog, nullptr);
    const ::Window window = Shown("Clicked");
    platform::Window* ok = platform::GetDialogItem(dialog, kIdOk);
    ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return platform::WindowTitle(ok) == "OK = 3"; }));
    display_.Click(window, 2, 2);
    ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return platform::WindowTitle(ok) == "OK"; }));
    display_.Press(XK_Return);
    EXPECT_EQ(counting.Result(), kIdOk);
}

TEST_F(MessageBoxWindow, CtrlCPutsTheSevenLineCopyOnTheClipboard)
{
    BoxOnThread box("Disk full", "Error", 1 | kStyleNoSound);
    ASSERT_NE(box.Dialog(), nullptr);
    Shown("Error");
    display_.Press(XK_c, {XK_Control_L});
    const std::string rule = "---------------------------\r\n";
    const std::string expected = rule + "Error\r\n" + rule + "Disk full\r\n" + rule + "OK   Cancel   \r\n" + rule;
    std::optional<std::string> pasted;
    EXPECT_TRUE(VirtualDisplay::WaitFor([&] { return (pasted = display_.ClipboardText()) == expected; }))
        << pasted.value_or("(nothing)");
    display_.Press(XK_Escape);
    EXPECT_EQ(box.Result(), kIdCancel);
}

} // namespace
