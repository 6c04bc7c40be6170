#include "platform/window/modal_box.h"

#include <cctype>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "platform/os/terminal.h"
#include "platform/window/close_signals.h"

namespace platform {

namespace detail {
void WriteUnshownBox(const std::string& caption, const std::string& text);
ModalBoxInterceptor& ThreadModalBoxInterceptor()
{
    thread_local ModalBoxInterceptor interceptor;
    return interceptor;
}
} // namespace detail

namespace {

constexpr int kSignalLookMilliseconds = 100;

std::string PrintableText(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += (c == '\r') ? '\n' : c;
    return out;
}

char Mnemonic(const std::string& label)
{
    auto amp = label.find('&');
    if (amp == std::string::npos || amp + 1 >= label.size())
        return 0;
    return static_cast<char>(std::tolower(static_cast<unsigned char>(label[amp + 1])));
}

// Reads one answer from the terminal, holding it against the keyboard's reads;
// the terminal's own mode is back before returning on every path.
unsigned AskTerminal(const ModalBoxRequest& request, int fd, const CloseSignalWatch& closeSignal)
{
    os::TerminalQuestion question;
    if (!question.Ready())
        return kModalBoxFailed;

    // Looked at whenever no key waits, a few times a second: a close signal
    // ends the question without an answer, whoever took the signal; a key
    // typed before it still answers.
    unsigned answer = kModalBoxFailed;
    for (;;) {
        pollfd in{fd, POLLIN, 0};
        const int ready = ::poll(&in, 1, kSignalLookMilliseconds);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0) {
            if (closeSignal.Caught())
                break;
            continue;
        }
        unsigned char c = 0;
        if (::read(fd, &c, 1) != 1)
            break;
        if (c == '\n' || c == '\r') {
            if (request.defaultButton < request.buttons.size())
                answer = request.buttons[request.defaultButton].id;
            break;
        }
        bool matched = false;
        for (const auto& button : request.buttons) {
            if (Mnemonic(button.label) == std::tolower(c)) {
                answer = button.id;
                matched = true;
            }
        }
        if (matched)
            break;
    }
    return answer;
}

} // namespace

unsigned ShowModalBox(const ModalBoxRequest& request)
{
    const CloseSignalWatch closeSignal; // from the moment the box is shown
    if (auto& intercept = detail::ThreadModalBoxInterceptor()) {
        if (auto answer = intercept(request))
            return *answer;
    }

    if (!::isatty(STDIN_FILENO)) {
        detail::WriteUnshownBox(request.caption, request.text);
        return kModalBoxFailed;
    }
    std::string shown = "\n== " + request.caption + " ==\n" + PrintableText(request.text) + "\n";
    for (size_t i = 0; i < request.buttons.size(); ++i) {
        shown += "  " + os::TerminalLabel(request.buttons[i].label);
        if (i == request.defaultButton)
            shown += " (Enter)";
    }
    shown += "\n";
    os::WriteToTerminal(shown);
    return AskTerminal(request, STDIN_FILENO, closeSignal);
}

} // namespace platform

namespace platform {

bool ModalBoxScripted()
{
    return static_cast<bool>(detail::ThreadModalBoxInterceptor());
}

unsigned SystemMessageBox(Window*, const std::string& text, const std::string& caption, unsigned style)
{
    ModalBoxRequest request;
    request.caption = caption;
    request.text = text;
    switch (style & 0xF) {
    case 1:
        request.buttons = {{1, "OK"}, {2, "Cancel"}};
        break;
    case 2:
        request.buttons = {{3, "&Abort"}, {4, "&Retry"}, {5, "&Ignore"}};
        break;
    case 3:
        request.buttons = {{6, "&Yes"}, {7, "&No"}, {2, "Cancel"}};
        break;
    case 4:
        request.buttons = {{6, "&Yes"}, {7, "&No"}};
        break;
    case 5:
        request.buttons = {{4, "&Retry"}, {2, "Cancel"}};
        break;
    case 6:
        request.buttons = {{2, "Cancel"}, {10, "&Try Again"}, {11, "&Continue"}};
        break;
    default:
        request.buttons = {{1, "OK"}};
        break;
    }
    const size_t place = (style >> 8) & 0xF;
    request.defaultButton = place < request.buttons.size() ? place : 0;
    const unsigned answer = ShowModalBox(request);
    return answer == kModalBoxFailed ? 0 : answer;
}

namespace detail {
void WriteUnshownBox(const std::string& caption, const std::string& text)
{
    os::WriteToTerminal("\n== " + caption + " ==\n" + PrintableText(text) + "\n");
}
} // namespace detail

} // namespace platform
