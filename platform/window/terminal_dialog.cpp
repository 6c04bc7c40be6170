#include "platform/window/terminal_dialog.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <unistd.h>

#include "platform/os/terminal.h"
#include "platform/window/dialog.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"
#include "platform/window/timers.h"

namespace platform::detail {

namespace {

struct Shown {
    std::string picture;
    std::string buttons;
    std::string title;
};

std::mutex shownLock;
std::map<Window*, Shown>& ShownDialogs()
{
    static std::map<Window*, Shown> shown;
    return shown;
}

void WriteOut(const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string ShownLabel(const std::string& label)
{
    std::string out;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) {
            out += '[';
            out += label[++i];
            out += ']';
        } else {
            out += label[i];
        }
    }
    return out;
}

// Shows the whole dialog the first time, then one line whenever its caption or
// buttons change (a countdown, the end of a disabled period).
void Render(Window* dialog)
{
    std::lock_guard guard(shownLock);
    auto& shown = ShownDialogs()[dialog];
    const std::string buttons = DialogButtonLine(dialog);
    const std::string title = WindowTitle(dialog);
    if (shown.picture.empty()) {
        shown.picture = DialogPicture(dialog);
        WriteOut(shown.picture);
    } else if (buttons != shown.buttons || title != shown.title) {
        WriteOut(title + ": " + buttons + "\n");
    }
    shown.buttons = buttons;
    shown.title = title;
}

void PostKey(Window* dialog, int key)
{
    Window* target = GetFocus();
    if (!target || GetParent(target) != dialog)
        target = dialog;
    PostMessage(target, kMsgKeyDown, static_cast<uintptr_t>(key), 0);
}

void ReadKeys(Window* dialog)
{
    Render(dialog);
    const int wait = static_cast<int>(std::min<int64_t>(MillisecondsToNextTimer().value_or(100), 100));
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (::poll(&in, 1, wait) <= 0 || !(in.revents & (POLLIN | POLLHUP)))
        return;
    unsigned char bytes[16];
    ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (n <= 0) {
        // The terminal went away: nobody can answer, so the thread is asked to quit.
        PostQuitMessage(1);
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        unsigned char c = bytes[i];
        if (c == 0x1B && i + 2 < n && bytes[i + 1] == '[') {
            i += 2; // arrow keys move the focus like Tab
            PostKey(dialog, kVkTab);
        } else if (c == 0x1B) {
            PostKey(dialog, kVkEscape);
        } else if (c == '\r' || c == '\n') {
            PostKey(dialog, kVkReturn);
        } else if (c == '\t') {
            PostKey(dialog, kVkTab);
        } else if (c == ' ') {
            PostKey(dialog, kVkSpace);
        } else if (std::isalnum(c)) {
            PostKey(dialog, std::toupper(c));
        }
    }
}

} // namespace

bool TerminalAvailable()
{
    return ::isatty(STDIN_FILENO) == 1;
}

// The terminal is held through the shared reader for as long as a dialog of
// this thread is up, so the keyboard device reads nothing meanwhile.
thread_local std::unique_ptr<os::TerminalQuestion> heldTerminal;

void EnterKeyMode()
{
    if (!heldTerminal)
        heldTerminal = std::make_unique<os::TerminalQuestion>();
}

void LeaveKeyMode()
{
    heldTerminal.reset();
}

void AttachTerminal(Window* dialog)
{
    EnterKeyMode();
    ThreadWaitHook() = [dialog] { ReadKeys(dialog); };
    Render(dialog);
}

void DetachTerminal(Window* dialog)
{
    ThreadWaitHook() = nullptr;
    LeaveKeyMode();
    std::lock_guard guard(shownLock);
    ShownDialogs().erase(dialog);
}

std::string DialogButtonLine(Window* dialog)
{
    std::string line;
    for (Window* child : ChildWindows(dialog)) {
        if (WindowClassName(child) != kButtonClassName)
            continue;
        std::string label = ShownLabel(WindowTitle(child));
        if ((WindowStyle(child) & kButtonStyleKindMask) == kButtonStyleAutoCheckBox)
            label = (SendMessage(child, kMsgButtonGetCheck, 0, 0) == kChecked ? "[x] " : "[ ] ") + label;
        if (!IsWindowEnabled(child))
            label = "(" + label + ")";
        line += (GetFocus() == child ? " >" : "  ") + label;
    }
    return line;
}

std::string DialogPicture(Window* dialog)
{
    std::string picture = "\n== " + WindowTitle(dialog) + " ==\n";
    for (Window* child : ChildWindows(dialog)) {
        if (WindowClassName(child) != kStaticClassName || WindowTitle(child).empty())
            continue;
        for (char c : WindowTitle(child))
            picture += c == '\r' ? '\n' : c;
        picture += "\n";
    }
    return picture + DialogButtonLine(dialog) + "\n";
}

} // namespace platform::detail
