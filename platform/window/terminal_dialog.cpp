#include "platform/window/terminal_dialog.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <map>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/window/dialog.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"
#include "platform/window/timers.h"

namespace platform::detail {

namespace {

termios savedMode{};
volatile sig_atomic_t modeSaved = 0;

void RestoreTerminalMode()
{
    if (modeSaved) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
        modeSaved = 0;
    }
}

extern "C" void RestoreOnFatalSignal(int signal)
{
    RestoreTerminalMode();
    ::raise(signal); // the handler was reset, so the default action follows
}

void InstallRestorers()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        std::atexit(RestoreTerminalMode);
        struct sigaction action {};
        action.sa_handler = RestoreOnFatalSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
            sigaction(signal, &action, nullptr);
    });
}

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

void EnterKeyMode()
{
    InstallRestorers();
    if (!modeSaved && tcgetattr(STDIN_FILENO, &savedMode) == 0) {
        modeSaved = 1;
        termios keys = savedMode;
        keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &keys);
    }
}

void LeaveKeyMode()
{
    RestoreTerminalMode();
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
