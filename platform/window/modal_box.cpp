#include "platform/window/modal_box.h"

#include <cctype>
#include <unistd.h>

#include "platform/os/terminal.h"

namespace platform {

namespace detail {
ModalBoxInterceptor& ThreadModalBoxInterceptor()
{
    thread_local ModalBoxInterceptor interceptor;
    return interceptor;
}
} // namespace detail

namespace {

void WriteFd(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

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

std::string Shown(const std::string& label)
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

// Reads one answer from the terminal, holding it against the keyboard's reads;
// the terminal's own mode is back before returning on every path.
unsigned AskTerminal(const ModalBoxRequest& request, int fd)
{
    os::TerminalQuestion question;
    if (!question.Ready())
        return kModalBoxFailed;

    unsigned answer = kModalBoxFailed;
    for (;;) {
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
    if (auto& intercept = detail::ThreadModalBoxInterceptor()) {
        if (auto answer = intercept(request))
            return *answer;
    }

    std::string shown = "\n== " + request.caption + " ==\n" + PrintableText(request.text) + "\n";
    if (!::isatty(STDIN_FILENO)) {
        WriteFd(STDERR_FILENO, shown);
        return kModalBoxFailed;
    }
    for (size_t i = 0; i < request.buttons.size(); ++i) {
        shown += "  " + Shown(request.buttons[i].label);
        if (i == request.defaultButton)
            shown += " (Enter)";
    }
    shown += "\n";
    WriteFd(STDERR_FILENO, shown);
    return AskTerminal(request, STDIN_FILENO);
}

} // namespace platform
