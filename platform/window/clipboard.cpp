#include "platform/window/clipboard.h"

#include <mutex>
#include <thread>
#include <utility>

#include "platform/window/dialog_font.h"
#include "platform/window/screen.h"

namespace platform {

namespace {

struct Clipboard {
    std::mutex lock;
    std::optional<std::thread::id> openBy;
    std::optional<std::string> text;
    detail::ClipboardFailures failures;
};

Clipboard& TheClipboard()
{
    static Clipboard clipboard;
    return clipboard;
}

bool OpenHere(Clipboard& clipboard)
{
    return clipboard.openBy == std::this_thread::get_id();
}

} // namespace

bool OpenClipboard()
{
    auto& clipboard = TheClipboard();
    std::lock_guard guard(clipboard.lock);
    if (std::exchange(clipboard.failures.failNextOpen, false))
        return false;
    if (clipboard.openBy && !OpenHere(clipboard))
        return false;
    clipboard.openBy = std::this_thread::get_id();
    return true;
}

bool EmptyClipboard()
{
    auto& clipboard = TheClipboard();
    std::lock_guard guard(clipboard.lock);
    if (!OpenHere(clipboard))
        return false;
    clipboard.text.reset();
    return true;
}

bool SetClipboardText(const std::string& text)
{
    {
        auto& clipboard = TheClipboard();
        std::lock_guard guard(clipboard.lock);
        if (!OpenHere(clipboard) || std::exchange(clipboard.failures.failNextText, false))
            return false;
        clipboard.text = text;
    }
    // Other programs paste it from the window system's clipboard.
    if (ScreensOpen())
        SetScreenClipboard(detail::AsUtf8(text));
    return true;
}

bool CloseClipboard()
{
    auto& clipboard = TheClipboard();
    std::lock_guard guard(clipboard.lock);
    if (!OpenHere(clipboard))
        return false;
    clipboard.openBy.reset();
    return true;
}

std::optional<std::string> ClipboardText()
{
    auto& clipboard = TheClipboard();
    std::lock_guard guard(clipboard.lock);
    return clipboard.text;
}

namespace detail {

ClipboardFailures& TheClipboardFailures()
{
    return TheClipboard().failures;
}

bool ClipboardOpen()
{
    auto& clipboard = TheClipboard();
    std::lock_guard guard(clipboard.lock);
    return clipboard.openBy.has_value();
}

} // namespace detail

} // namespace platform
