#pragma once
// Dialogs made from an in-memory template (platform/window/dialog_template.h):
// a "#32770" window with "Button" (push button, check box) and "Static"
// children, a dialog procedure, the keyboard handling of a dialog and the
// system menu's Close. Where a display is, a dialog is a real window
// (platform/window/screen.h), painted (platform/window/dialog_painter.h)
// whenever its thread waits for messages and something shown has changed,
// and answered with the keys and the mouse there. Without one it is shown on
// the terminal and answered with keys there; with no terminal either it cannot
// be created, and its title and texts go to file descriptor 2 so that what it
// had to say is not lost.
#include <cstddef>
#include <cstdint>

#include "platform/window/message_queue.h"
#include "platform/window/window.h"

namespace platform {

inline constexpr const char* kDialogClassName = "#32770";
inline constexpr const char* kButtonClassName = "Button";
inline constexpr const char* kStaticClassName = "Static";

// Dialog and control style bits.
inline constexpr uint32_t kDialogStyleSysModal = 0x00000002;
inline constexpr uint32_t kButtonStyleDefault = 0x00000001;
inline constexpr uint32_t kButtonStyleAutoCheckBox = 0x00000003;
inline constexpr uint32_t kButtonStyleKindMask = 0x0000000F;

// Check states of kMsgButtonGetCheck and kMsgButtonSetCheck.
inline constexpr intptr_t kUnchecked = 0;
inline constexpr intptr_t kChecked = 1;

// Creates the dialog and its controls (dialog units become pixels with the
// dialog base units), centred on the screen, sends kMsgInitDialog with `param`
// as lParam to `dialogProc`, and returns the dialog, shown. Null for a template
// that cannot be read, or when there is neither a display nor a terminal to
// show the dialog on.
Window* CreateDialogFromTemplate(const uint8_t* block, size_t size, Window* owner, WindowProc dialogProc,
                                 intptr_t param);

// The dialog's keyboard handling for a message of the dialog or its controls:
// Enter presses the focused push button or else the default one, Escape sends
// the cancel command (id 2) unless a disabled control holds that id, Space
// presses the focused button, Tab moves the focus among enabled tab stops, and
// a letter or digit, alone or with Alt, presses the enabled button whose "&"
// mnemonic it is. True when the message was taken.
bool IsDialogMessage(Window* dialog, const Message& message);

// Paints the dialog on its real window at once (nothing without one).
void RedrawWindow(Window* dialog);

// The Close item of the dialog's system menu: greyed, Close (and the close
// message) does nothing; enabled, it sends the cancel command.
void EnableSystemClose(Window* dialog, bool enabled);
bool IsSystemCloseEnabled(Window* dialog);

// What a mouse click on the control does: a push button sends its command, a
// check box toggles and sends its command, both only when enabled; a static
// control passes the click to its dialog.
void ClickControl(Window* control);

namespace detail {
// While true, this thread's dialogs are made without a terminal (tests).
bool& ThreadHeadlessDialogs();
} // namespace detail

} // namespace platform
