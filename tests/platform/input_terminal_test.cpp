// The terminal on standard input, as a person at it would use it: each case
// runs in a child process whose standard input is a new pseudo-terminal, and
// the terminal's mode is checked after the child has gone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/input/input_system.h"
#include "platform/input/keyboard.h"
#include "platform/input/scan_codes.h"
#include "platform/os/terminal.h"
#include "platform/window/modal_box.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

constexpr tcflag_t kLineMode = ICANON | ECHO;

struct ChildEnd {
    int exitCode = -1; // -1: killed by a signal or never ended
    int signal = 0;
    termios mode{};    // the terminal's mode once the child had ended
};

// Runs `body(master)` in a child whose standard input is the terminal's slave
// end; the parent keeps the slave open to read its mode afterwards.
ChildEnd RunOnTerminal(const std::function<int(int master)>& body)
{
    ChildEnd end;
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return end;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(slave, STDIN_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        _exit(body(master));
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    if (WIFEXITED(status))
        end.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        end.signal = WTERMSIG(status);
    tcgetattr(slave, &end.mode);
    close(master);
    close(slave);
    return end;
}

bool InLineMode()
{
    termios mode{};
    tcgetattr(STDIN_FILENO, &mode);
    return (mode.c_lflag & kLineMode) == kLineMode;
}

void Type(int master, const char* bytes)
{
    if (write(master, bytes, std::strlen(bytes)) < 0)
        _exit(90);
}

// Reads the keyboard until `code` reads as held; false after two seconds.
bool ReadUntilHeld(input::InputDevice* keyboard, uint8_t code, uint8_t keys[256])
{
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (keyboard->GetDeviceState(256, keys) == input::kInputOk && keys[code])
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

} // namespace

TEST(InputTerminal, KeyModeReadsKeysWithoutEchoAndGivesTheModeBack)
{
    const ChildEnd end = RunOnTerminal([](int master) {
        if (!os::EnterKeyMode())
            return 1;
        termios mode{};
        tcgetattr(STDIN_FILENO, &mode);
        if (mode.c_lflag & kLineMode)
            return 2;
        if (!(mode.c_lflag & ISIG)) // Ctrl+C still closes the program
            return 3;
        Type(master, "ab");
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (got.size() < 2 && std::chrono::steady_clock::now() < deadline) {
            unsigned char buffer[8];
            got.append(reinterpret_cast<char*>(buffer), os::ReadWaitingKeys(buffer, sizeof(buffer)));
        }
        if (got != "ab")
            return 4;
        os::LeaveKeyMode();
        if (!InLineMode())
            return 5;
        // Outside key mode nothing is read.
        Type(master, "c");
        std::this_thread::sleep_for(20ms);
        unsigned char buffer[8];
        return os::ReadWaitingKeys(buffer, sizeof(buffer)) == 0 ? 0 : 6;
    });
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.mode.c_lflag & kLineMode, kLineMode);
}

TEST(InputTerminal, TheKeyboardTapsTheTerminalsKeysAndEscapeAfterAPause)
{
    const ChildEnd end = RunOnTerminal([](int master) {
        input::InputSystem* system = nullptr;
        input::InputDevice* keyboard = nullptr;
        if (input::CreateInputSystem(nullptr, input::kInputVersion, &system) != input::kInputOk)
            return 1;
        if (system->CreateDevice(input::DeviceKind::kSystemKeyboard, &keyboard) != input::kInputOk)
            return 2;
        keyboard->SetDataFormat(input::DataFormat::kKeyboard);
        keyboard->Acquire();
        uint8_t keys[256];
        Type(master, "w");
        if (!ReadUntilHeld(keyboard, input::kKeyW, keys))
            return 3;
        // A press, not a hold: gone at the next read.
        if (keyboard->GetDeviceState(256, keys) != input::kInputOk || keys[input::kKeyW])
            return 4;
        Type(master, "\x1b");
        if (!ReadUntilHeld(keyboard, input::kKeyEscape, keys))
            return 5;
        keyboard->Release();
        system->Release();
        return InLineMode() ? 0 : 6;
    });
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.mode.c_lflag & kLineMode, kLineMode);
}

TEST(InputTerminal, WhileABoxHoldsTheTerminalTheKeyboardReadsNothing)
{
    const ChildEnd end = RunOnTerminal([](int master) {
        if (!os::EnterKeyMode())
            return 1;
        std::atomic<int> step{0};
        std::thread box([&step] {
            os::TerminalQuestion question;
            step = question.Ready() ? 1 : -1;
            while (step == 1)
                std::this_thread::sleep_for(1ms);
        });
        while (step == 0)
            std::this_thread::sleep_for(1ms);
        if (step != 1) {
            box.join();
            return 2;
        }
        Type(master, "x");
        std::this_thread::sleep_for(30ms);
        unsigned char buffer[8];
        const size_t duringBox = os::ReadWaitingKeys(buffer, sizeof(buffer));
        step = 2;
        box.join();
        if (duringBox != 0)
            return 3;
        // The box gave the terminal its own mode back...
        if (!InLineMode())
            return 4;
        // ...and the keyboard's next read takes key mode again and gets the key.
        const size_t after = os::ReadWaitingKeys(buffer, sizeof(buffer));
        if (after != 1 || buffer[0] != 'x')
            return 5;
        return InLineMode() ? 6 : 0;
    });
    EXPECT_EQ(end.exitCode, 0);
}

TEST(InputTerminal, ABoxAnsweredAbortLeavesTheTerminalInItsOwnMode)
{
    const ChildEnd end = RunOnTerminal([](int master) {
        if (!os::EnterKeyMode())
            return 1;
        Type(master, "a");
        ModalBoxRequest request;
        request.caption = "Error";
        request.text = "Something failed.";
        request.buttons = {{11, "&Continue Anyway"}, {3, "&Abort"}};
        if (ShowModalBox(request) != 3)
            return 2;
        // Abort ends the process at once, with no release run.
        _exit(InLineMode() ? 0 : 3);
    });
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.mode.c_lflag & kLineMode, kLineMode);
}

TEST(InputTerminal, ExitAndFatalSignalsGiveTheModeBack)
{
    const ChildEnd exited = RunOnTerminal([](int) {
        if (!os::EnterKeyMode() || InLineMode())
            return 1;
        std::exit(0);
    });
    EXPECT_EQ(exited.exitCode, 0);
    EXPECT_EQ(exited.mode.c_lflag & kLineMode, kLineMode);

    const ChildEnd aborted = RunOnTerminal([](int) {
        if (!os::EnterKeyMode() || InLineMode())
            return 1;
        raise(SIGABRT);
        return 2;
    });
    EXPECT_EQ(aborted.signal, SIGABRT);
    EXPECT_EQ(aborted.mode.c_lflag & kLineMode, kLineMode);
}
