#include "platform/window/message_queue.h"

#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window/close_signals.h"
#include "platform/window/dialog.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/screen.h"
#include "platform/window/timers.h"

namespace platform {

namespace {

struct Queue {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Message> posted;
    bool quit = false;
    int quitCode = 0;
};

std::mutex queuesLock;
std::map<std::thread::id, std::shared_ptr<Queue>>& Queues()
{
    static std::map<std::thread::id, std::shared_ptr<Queue>> queues;
    return queues;
}

std::shared_ptr<Queue> QueueOf(std::thread::id thread)
{
    std::lock_guard guard(queuesLock);
    auto& slot = Queues()[thread];
    if (!slot)
        slot = std::make_shared<Queue>();
    return slot;
}

// Turns a recorded close signal into close messages, when this thread has
// windows. Not for a dialog or its controls: the box a dialog shows watches
// for the signal itself and ends (ui/message_dialog_run.h), whatever its
// Close would do, so the signal is left for the box, or for the windows of
// another thread.
void DeliverCloseSignal(Queue& queue)
{
    if (!CloseSignalPending())
        return;
    std::vector<Window*> windows;
    for (Window* window : detail::WindowsOfThisThread()) {
        Window* dialog = GetParent(window) ? GetParent(window) : window;
        if (WindowClassName(dialog) != kDialogClassName)
            windows.push_back(window);
    }
    if (windows.empty() || !TakeCloseSignal())
        return;
    std::lock_guard guard(queue.lock);
    for (Window* window : windows)
        queue.posted.push_back({window, kMsgClose, 0, 0});
}

// A modifier's key message, taken, makes the key held or let go: what the
// thread's key messages find held is what was held when they were pressed.
void FollowModifier(const Message& message)
{
    const int key = static_cast<int>(message.wParam);
    if (key != kVkShift && key != kVkControl && key != kVkMenu)
        return;
    if (message.message == kMsgKeyDown || message.message == kMsgSysKeyDown)
        detail::SetKeyDown(key, true);
    else if (message.message == kMsgKeyUp || message.message == kMsgSysKeyUp)
        detail::SetKeyDown(key, false);
}

} // namespace

bool PeekMessage(Message& message, bool remove)
{
    // The real windows' events are posted by the window system's own thread
    // as they come (platform/window/screen.h): looking waits for nothing.
    auto queue = QueueOf(std::this_thread::get_id());
    DeliverCloseSignal(*queue);
    std::lock_guard guard(queue->lock);
    if (!queue->posted.empty()) {
        message = queue->posted.front();
        if (remove) {
            queue->posted.pop_front();
            FollowModifier(message);
        }
        return true;
    }
    if (queue->quit) {
        message = {nullptr, kMsgQuit, static_cast<uintptr_t>(queue->quitCode), 0};
        if (remove)
            queue->quit = false;
        return true;
    }
    return remove && detail::TakeDueTimer(message);
}

void WaitMessage()
{
    if (auto& hook = detail::ThreadWaitHook()) {
        hook();
        return;
    }
    detail::WaitForThreadMessage();
}

namespace detail {
void WaitForThreadMessage()
{
    // A real window's events wake nobody: look again soon while one is open.
    const int64_t longest = ScreensOpen() ? 10 : 100;
    const int64_t wait = std::min(detail::MillisecondsToNextTimer().value_or(longest), longest);
    auto queue = QueueOf(std::this_thread::get_id());
    std::unique_lock guard(queue->lock);
    queue->ready.wait_for(guard, std::chrono::milliseconds(wait),
                          [&] { return !queue->posted.empty() || queue->quit || CloseSignalPending(); });
}
} // namespace detail

bool TranslateMessage(const Message&)
{
    return false;
}

intptr_t DispatchMessage(const Message& message)
{
    if (!message.window)
        return 0;
    return SendMessage(message.window, message.message, message.wParam, message.lParam);
}

bool PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    auto owners = detail::WindowOwner(window);
    if (!owners)
        return false;
    auto queue = QueueOf(*owners);
    std::lock_guard guard(queue->lock);
    queue->posted.push_back({window, message, wParam, lParam});
    queue->ready.notify_all();
    return true;
}

void PostQuitMessage(int exitCode)
{
    auto queue = QueueOf(std::this_thread::get_id());
    std::lock_guard guard(queue->lock);
    queue->quit = true;
    queue->quitCode = exitCode;
    queue->ready.notify_all();
}

namespace detail {
void ClearThisThreadQueue()
{
    auto queue = QueueOf(std::this_thread::get_id());
    std::lock_guard guard(queue->lock);
    queue->posted.clear();
    queue->quit = false;
}

std::function<void()>& ThreadWaitHook()
{
    thread_local std::function<void()> hook;
    return hook;
}
} // namespace detail

} // namespace platform
