#pragma once
// A modal box on the terminal: caption, text and buttons, answered with the
// buttons' mnemonic letters or Enter for the default. With no terminal the box
// cannot be shown: its caption and text go to file descriptor 2 (not the
// redirected std::cerr) and the answer is kModalBoxFailed.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

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

namespace detail {
// Set per thread by platform/testing to answer boxes without a terminal.
using ModalBoxInterceptor = std::function<std::optional<unsigned>(const ModalBoxRequest&)>;
ModalBoxInterceptor& ThreadModalBoxInterceptor();
} // namespace detail

} // namespace platform
