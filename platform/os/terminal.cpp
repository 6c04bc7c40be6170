#include "platform/os/terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace platform::os {

namespace {

// Held by whoever reads the terminal. Recursive: a box raised on the thread
// that is reading keys must not wait for itself.
std::recursive_mutex& ReaderLock()
{
    static std::recursive_mutex lock;
    return lock;
}

// The terminal's own mode, saved before this process first changed it. Signal
// handlers read it, so it is written once, before `changed` is ever raised.
termios ownMode{};
std::atomic<bool> ownModeSaved{false};
std::atomic<bool> changed{false};  // the terminal is in another mode than its own
std::atomic<bool> restoredForGood{false};
bool keyModeWanted = false;        // under ReaderLock
bool keyModeApplied = false;       // under ReaderLock

constexpr int kFatalSignals[] = {SIGQUIT, SIGILL, SIGABRT, SIGBUS, SIGFPE, SIGSEGV};
struct sigaction previousActions[sizeof(kFatalSignals) / sizeof(kFatalSignals[0])];

void PutOwnModeBack()
{
    if (changed.exchange(false))
        tcsetattr(STDIN_FILENO, TCSANOW, &ownMode);
}

extern "C" void RestoreOnSignal(int signal)
{
    if (changed.load())
        tcsetattr(STDIN_FILENO, TCSANOW, &ownMode);
    // Then whatever would have happened without us (the default action, or a
    // handler that was there before).
    for (size_t i = 0; i < sizeof(kFatalSignals) / sizeof(kFatalSignals[0]); ++i) {
        if (kFatalSignals[i] == signal) {
            sigaction(signal, &previousActions[i], nullptr);
            break;
        }
    }
    raise(signal);
}

extern "C" void RestoreAtExit()
{
    PutOwnModeBack();
}

// Saves the terminal's own mode and installs the ways back, once.
bool SaveOwnMode()
{
    if (ownModeSaved.load())
        return true;
    if (tcgetattr(STDIN_FILENO, &ownMode) != 0)
        return false;
    ownModeSaved.store(true);
    std::atexit(RestoreAtExit);
    struct sigaction action {};
    action.sa_handler = RestoreOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    for (size_t i = 0; i < sizeof(kFatalSignals) / sizeof(kFatalSignals[0]); ++i)
        sigaction(kFatalSignals[i], &action, &previousActions[i]);
    return true;
}

// Raw input without echo; the signal keys keep working as in the own mode.
termios RawMode()
{
    termios raw = ownMode;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

// Raw mode, unless the process is ending; looked at again after the change, so
// a restore for good on another thread meanwhile is never undone.
bool ApplyRawMode()
{
    if (restoredForGood.load())
        return false;
    const termios raw = RawMode();
    changed.store(true);
    const bool applied = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    if (restoredForGood.load()) {
        PutOwnModeBack();
        return false;
    }
    return applied;
}

void ApplyKeyMode()
{
    if (ApplyRawMode())
        keyModeApplied = true;
}

} // namespace

bool StdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool EnterKeyMode()
{
    std::lock_guard guard(ReaderLock());
    if (!StdinIsTerminal() || !SaveOwnMode())
        return false;
    keyModeWanted = true;
    ApplyKeyMode();
    return keyModeApplied;
}

void LeaveKeyMode()
{
    std::lock_guard guard(ReaderLock());
    if (!keyModeWanted)
        return;
    keyModeWanted = false;
    keyModeApplied = false;
    PutOwnModeBack();
}

void RestoreTerminalForGood()
{
    restoredForGood.store(true);
    PutOwnModeBack();
}

bool InKeyMode()
{
    std::lock_guard guard(ReaderLock());
    return keyModeWanted;
}

size_t ReadWaitingKeys(unsigned char* buffer, size_t capacity)
{
    std::unique_lock guard(ReaderLock(), std::try_to_lock);
    if (!guard.owns_lock() || !keyModeWanted || capacity == 0)
        return 0;
    if (!keyModeApplied)
        ApplyKeyMode();
    pollfd waiting{STDIN_FILENO, POLLIN, 0};
    if (::poll(&waiting, 1, 0) != 1 || !(waiting.revents & POLLIN))
        return 0;
    const ssize_t n = ::read(STDIN_FILENO, buffer, capacity);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

TerminalQuestion::TerminalQuestion() : hold_(ReaderLock())
{
    if (!StdinIsTerminal() || !SaveOwnMode())
        return;
    ready_ = ApplyRawMode();
}

TerminalQuestion::~TerminalQuestion()
{
    // Own mode, not key mode: the process may end right after the answer.
    PutOwnModeBack();
    keyModeApplied = false;
}

void WriteToTerminal(const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string TerminalLabel(const std::string& label)
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

} // namespace platform::os
