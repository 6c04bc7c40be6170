#include "testing/dialog_script.h"

#include "platform/window/dialog.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"
#include "platform/window/timers.h"

namespace platform::testing {

namespace {

void PostKey(Window* dialog, int key)
{
    Window* target = GetFocus();
    if (!target || GetParent(target) != dialog)
        target = dialog;
    PostMessage(target, kMsgKeyDown, static_cast<uintptr_t>(key), 0);
}

} // namespace

ScriptedDialogs::ScriptedDialogs()
{
    detail::ThreadHeadlessDialogs() = true;
    detail::UseVirtualTimerClock(true);
    detail::ThreadWaitHook() = [this] { Step(); };
}

ScriptedDialogs::~ScriptedDialogs()
{
    detail::ThreadWaitHook() = nullptr;
    detail::ThreadHeadlessDialogs() = false;
    detail::UseVirtualTimerClock(false);
    detail::SetKeyDown(kVkControl, false);
    detail::ClearThisThreadQueue();
}

void ScriptedDialogs::Step()
{
    if (releaseControl_) {
        detail::SetKeyDown(kVkControl, false);
        releaseControl_ = false;
    }
    if (steps_.empty()) {
        exhausted_ = true;
        PostQuitMessage(0);
        return;
    }
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step(GetActiveWindow());
}

ScriptedDialogs& ScriptedDialogs::Click(int id)
{
    steps_.push_back([id](Window* dialog) { ClickControl(GetDialogItem(dialog, id)); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::Key(int virtualKey)
{
    steps_.push_back([virtualKey](Window* dialog) { PostKey(dialog, virtualKey); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::CtrlKey(int virtualKey)
{
    steps_.push_back([this, virtualKey](Window* dialog) {
        detail::SetKeyDown(kVkControl, true);
        releaseControl_ = true;
        PostKey(dialog, virtualKey);
    });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::Close()
{
    steps_.push_back([](Window* dialog) { PostMessage(dialog, kMsgSysCommand, kSysCommandClose, 0); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ClickSurface()
{
    steps_.push_back([](Window* dialog) { PostMessage(dialog, kMsgLButtonDown, 0, 0); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ClickFrame()
{
    steps_.push_back([](Window* dialog) { PostMessage(dialog, kMsgNcLButtonDown, 0, 0); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::Tick(int seconds)
{
    for (int i = 0; i < seconds; ++i)
        steps_.push_back([](Window*) { detail::AdvanceVirtualTimerClock(1000); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::PostQuit(int exitCode)
{
    steps_.push_back([exitCode](Window*) { PostQuitMessage(exitCode); });
    return *this;
}

ScriptedDialogs& ScriptedDialogs::Inspect(std::function<void(Window* dialog)> look)
{
    steps_.push_back(std::move(look));
    return *this;
}

} // namespace platform::testing
