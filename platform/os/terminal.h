#pragma once
// The process's terminal on standard input, shared by its two readers: the
// keyboard device, which takes the key presses waiting at each read, and the
// message box, which holds the terminal for its whole question. Key mode is
// raw input without echo, Ctrl+C still being a signal. The terminal gets its
// own mode back on every way out: leaving key mode, the end of a box's
// question (an Abort ends the process right after), exit, and the signals that
// end a process by default (SIGINT, SIGTERM and SIGHUP end the program in its
// normal order, which leaves key mode).
#include <cstddef>
#include <mutex>
#include <string>

namespace platform::os {

bool StdinIsTerminal();

// Puts the terminal in key mode; false when standard input is no terminal.
bool EnterKeyMode();
// Gives the terminal its own mode back.
void LeaveKeyMode();
// Gives the terminal its own mode back for good, for a process about to end
// without its exit handlers: no reader puts key mode back from then on.
void RestoreTerminalForGood();
bool InKeyMode();

// Up to `capacity` bytes waiting now, without blocking. Nothing outside key
// mode or while a box holds the terminal. Key mode lost to a box comes back here.
size_t ReadWaitingKeys(unsigned char* buffer, size_t capacity);

// All of `text` to standard error, where boxes and dialogs are drawn; a write
// that fails drops the rest.
void WriteToTerminal(const std::string& text);

// A button label as the terminal shows it: the character after '&' in
// brackets ("&Abort": "[A]bort").
std::string TerminalLabel(const std::string& label);

// The terminal held for one question of a message box: the keyboard reads
// nothing meanwhile, input is raw without echo, and the end puts the terminal's
// own mode back.
class TerminalQuestion {
public:
    TerminalQuestion();
    ~TerminalQuestion();
    TerminalQuestion(const TerminalQuestion&) = delete;
    TerminalQuestion& operator=(const TerminalQuestion&) = delete;

    // False when standard input is no terminal.
    bool Ready() const { return ready_; }

private:
    std::unique_lock<std::recursive_mutex> hold_;
    bool ready_ = false;
};

} // namespace platform::os
