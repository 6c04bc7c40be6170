#pragma once
// A modal box on the terminal: caption, text and buttons, answered with the
// buttons' mnemonic letters or Enter for the default. With no terminal the box
// cannot be shown: its caption and text go to file descriptor 2 (not the
// redirected std::cerr) and the answer is kModalBoxFailed; so is it when a
// close signal (SIGINT, SIGTERM, SIGHUP) comes while the box waits.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Window;

inline constexpr unsigned kModalBoxFailed = 0xFFFFFFFFu;

struct ModalBoxButton {
    unsigned id;
    std::string label; // "&Abort": the letter after '&' is the mnemonic
};

struct ModalBoxRequest {
    std::string caption;
    std::string text;
    std::vector<ModalBoxButton> buttons;
    size_t defaultButton = 0;
};

unsigned ShowModalBox(const ModalBoxRequest& request);

// True while the calling thread's boxes are answered by a script (tests).
bool ModalBoxScripted();

// The system's plain message box: the standard button set of the style's low
// four bits (0 OK, 1 OK Cancel, 2 Abort Retry Ignore, 3 Yes No Cancel, 4 Yes
// No, 5 Retry Cancel, 6 Cancel Try Again Continue; the default place from bits
// 0xF00). Returns the button id, or 0 when the box cannot be shown.
unsigned SystemMessageBox(Window* owner, const std::string& text, const std::string& caption, unsigned style);

namespace detail {
// What a box that cannot be shown leaves on file descriptor 2.
void WriteUnshownBox(const std::string& caption, const std::string& text);
// Set per thread by the test library (testing/) to answer boxes without a terminal.
using ModalBoxInterceptor = std::function<std::optional<unsigned>(const ModalBoxRequest&)>;
ModalBoxInterceptor& ThreadModalBoxInterceptor();
} // namespace detail

} // namespace platform
