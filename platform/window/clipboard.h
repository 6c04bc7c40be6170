#pragma once
// The clipboard: one text for the whole process. It is opened, emptied, given
// its text and closed again, as a program shares it with others; while the
// program has a real window open the text also goes to the window system's
// clipboard (platform/window/screen.h), for other programs to paste.
#include <optional>
#include <string>

namespace platform {

// False when another thread has it open (or a test makes the open fail).
bool OpenClipboard();
bool EmptyClipboard();
// Puts the text on the open clipboard; false when it is not open by this
// thread or no memory could be had for the text.
bool SetClipboardText(const std::string& text);
bool CloseClipboard();
// The text on the clipboard, if there is one.
std::optional<std::string> ClipboardText();

namespace detail {
struct ClipboardFailures {
    bool failNextOpen = false;
    bool failNextText = false;
};
ClipboardFailures& TheClipboardFailures();
// True while some thread has the clipboard open.
bool ClipboardOpen();
} // namespace detail

} // namespace platform
