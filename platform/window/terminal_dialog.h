#pragma once
// Shows a dialog on the terminal and turns the terminal's keys into key
// messages of the dialog while it is up. The terminal's mode is put back when
// the dialog goes, at exit, and on a fatal signal.
#include <string>

#include "platform/window/window.h"

namespace platform::detail {

// Single keys without echo on standard input, until LeaveKeyMode; the mode is
// also put back at exit and on a fatal signal.
void EnterKeyMode();
void LeaveKeyMode();
// True when standard input is a terminal a dialog can be answered on.
bool TerminalAvailable();
// Switches the terminal to single keys without echo and makes the calling
// thread's WaitMessage show the dialog and read the keys.
void AttachTerminal(Window* dialog);
void DetachTerminal(Window* dialog);
// The terminal picture of a dialog: caption, texts, then the buttons with
// their mnemonic letters in brackets ("[A]bort"), the focused one marked ">",
// disabled ones in parentheses, a check box as "[x]" or "[ ]".
std::string DialogPicture(Window* dialog);
std::string DialogButtonLine(Window* dialog);

} // namespace platform::detail
