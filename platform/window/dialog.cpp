#include "platform/window/dialog.h"

#include <cctype>
#include <map>
#include <mutex>

#include "platform/window/dialog_template.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/modal_box.h"
#include "platform/window/system_metrics.h"
#include "platform/window/terminal_dialog.h"

namespace platform {

namespace {

struct DialogInfo {
    WindowProc procedure = nullptr;
    bool closeEnabled = true;
    bool onTerminal = false;
};

std::mutex stateLock;
std::map<Window*, DialogInfo>& Dialogs()
{
    static std::map<Window*, DialogInfo> dialogs;
    return dialogs;
}
std::map<Window*, bool>& Checks()
{
    static std::map<Window*, bool> checks;
    return checks;
}

DialogInfo InfoOf(Window* dialog)
{
    std::lock_guard guard(stateLock);
    auto found = Dialogs().find(dialog);
    return found == Dialogs().end() ? DialogInfo{} : found->second;
}

bool IsButton(Window* window)
{
    return WindowClassName(window) == kButtonClassName;
}

bool IsPushButton(Window* window)
{
    uint32_t kind = WindowStyle(window) & kButtonStyleKindMask;
    return IsButton(window) && (kind == 0 || kind == kButtonStyleDefault);
}

// The mnemonic letter of a label ("&Abort": 'A'), or 0.
int MnemonicOf(const std::string& label)
{
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != '&')
            continue;
        if (label[i + 1] == '&') {
            ++i;
            continue;
        }
        return std::toupper(static_cast<unsigned char>(label[i + 1]));
    }
    return 0;
}

void Command(Window* dialog, int id)
{
    SendMessage(dialog, kMsgCommand, static_cast<uintptr_t>(id), 0);
}

void MoveFocus(Window* dialog, bool backwards)
{
    std::vector<Window*> stops;
    for (Window* child : ChildWindows(dialog))
        if ((WindowStyle(child) & kStyleTabStop) && IsWindowEnabled(child))
            stops.push_back(child);
    if (stops.empty())
        return;
    size_t at = stops.size();
    for (size_t i = 0; i < stops.size(); ++i)
        if (stops[i] == GetFocus())
            at = i;
    size_t next = at == stops.size() ? 0 : (backwards ? (at + stops.size() - 1) : (at + 1)) % stops.size();
    SetFocus(stops[next]);
}

intptr_t DialogWindowProc(Window* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    const DialogInfo info = InfoOf(dialog);
    if (message == kMsgClose || (message == kMsgSysCommand && (wParam & 0xFFF0) == kSysCommandClose)) {
        if (info.closeEnabled && info.procedure)
            info.procedure(dialog, kMsgCommand, 2, 0);
        return 0;
    }
    intptr_t result = info.procedure ? info.procedure(dialog, message, wParam, lParam) : 0;
    if (message == kMsgDestroy) {
        if (info.onTerminal)
            detail::DetachTerminal(dialog);
        std::lock_guard guard(stateLock);
        Dialogs().erase(dialog);
    }
    return result;
}

intptr_t ButtonProc(Window* button, uint32_t message, uintptr_t wParam, intptr_t)
{
    switch (message) {
    case kMsgLButtonDown: {
        if (!IsWindowEnabled(button))
            return 0;
        if ((WindowStyle(button) & kButtonStyleKindMask) == kButtonStyleAutoCheckBox) {
            std::lock_guard guard(stateLock);
            Checks()[button] = !Checks()[button];
        }
        SetFocus(button);
        Command(GetParent(button), ControlId(button));
        return 0;
    }
    case kMsgButtonGetCheck: {
        std::lock_guard guard(stateLock);
        auto found = Checks().find(button);
        return found != Checks().end() && found->second ? kChecked : kUnchecked;
    }
    case kMsgButtonSetCheck: {
        std::lock_guard guard(stateLock);
        Checks()[button] = wParam == static_cast<uintptr_t>(kChecked);
        return 0;
    }
    case kMsgDestroy: {
        std::lock_guard guard(stateLock);
        Checks().erase(button);
        return 0;
    }
    default:
        return 0;
    }
}

intptr_t StaticProc(Window* control, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    // A static control lets clicks through to the dialog beneath it.
    if (message == kMsgLButtonDown)
        return SendMessage(GetParent(control), message, wParam, lParam);
    return 0;
}

Rect Pixels(int x, int y, int cx, int cy)
{
    const auto units = GetDialogBaseUnits();
    const int left = x * units.x / 4;
    const int top = y * units.y / 8;
    return {left, top, left + cx * units.x / 4, top + cy * units.y / 8};
}

} // namespace

Window* CreateDialogFromTemplate(const uint8_t* block, size_t size, Window* owner, WindowProc dialogProc,
                                 intptr_t param)
{
    auto dialogTemplate = ReadDialogTemplate(block, size);
    if (!dialogTemplate)
        return nullptr;
    const bool headless = detail::ThreadHeadlessDialogs();
    if (!headless && !detail::TerminalAvailable()) {
        std::string texts;
        for (const auto& item : dialogTemplate->items)
            if (item.classAtom == kClassAtomStatic && !item.text.empty())
                texts += (texts.empty() ? "" : "\n") + item.text;
        detail::WriteUnshownBox(dialogTemplate->title, texts);
        return nullptr;
    }

    Rect rect = Pixels(dialogTemplate->x, dialogTemplate->y, dialogTemplate->cx, dialogTemplate->cy);
    // Centred on the screen, as the template's centre style asks.
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    rect.left = (GetSystemMetric(SystemMetric::ScreenWidth) - width) / 2;
    rect.top = (GetSystemMetric(SystemMetric::ScreenHeight) - height) / 2;
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;
    Window* dialog = detail::CreatePlatformWindow(kDialogClassName, dialogTemplate->title, dialogTemplate->style, rect,
                                                  nullptr, owner, 0, DialogWindowProc);
    {
        std::lock_guard guard(stateLock);
        Dialogs()[dialog] = {dialogProc, true, !headless};
    }
    for (const auto& item : dialogTemplate->items) {
        const bool button = item.classAtom == kClassAtomButton;
        detail::CreatePlatformWindow(button ? kButtonClassName : kStaticClassName, item.text, item.style,
                                     Pixels(item.x, item.y, item.cx, item.cy), dialog, nullptr, item.id,
                                     button ? ButtonProc : StaticProc);
    }
    SetActiveWindow(dialog);
    if (!headless)
        detail::AttachTerminal(dialog);
    Window* firstStop = nullptr;
    for (Window* child : ChildWindows(dialog))
        if (!firstStop && (WindowStyle(child) & kStyleTabStop))
            firstStop = child;
    if (SendMessage(dialog, kMsgInitDialog, reinterpret_cast<uintptr_t>(firstStop), param) && firstStop)
        SetFocus(firstStop);
    return IsWindow(dialog) ? dialog : nullptr;
}

bool IsDialogMessage(Window* dialog, const Message& message)
{
    if (!IsWindow(dialog) || (message.window != dialog && GetParent(message.window) != dialog))
        return false;
    if (message.message != kMsgKeyDown)
        return false;
    const int key = static_cast<int>(message.wParam);
    Window* focus = GetFocus();
    if (focus && GetParent(focus) != dialog)
        focus = nullptr;
    switch (key) {
    case kVkTab:
        MoveFocus(dialog, IsKeyDown(kVkShift));
        return true;
    case kVkReturn: {
        Window* target = focus && IsPushButton(focus) ? focus : nullptr;
        for (Window* child : ChildWindows(dialog))
            if (!target && IsButton(child) && (WindowStyle(child) & kButtonStyleKindMask) == kButtonStyleDefault)
                target = child;
        if (!target)
            Command(dialog, 1);
        else if (IsWindowEnabled(target))
            Command(dialog, ControlId(target));
        return true;
    }
    case kVkEscape: {
        Window* cancel = GetDialogItem(dialog, 2);
        if (!cancel || IsWindowEnabled(cancel))
            Command(dialog, 2);
        return true;
    }
    case kVkSpace:
        if (focus && IsButton(focus))
            ClickControl(focus);
        return true;
    default:
        break;
    }
    if (!IsKeyDown(kVkControl) && std::isalnum(key)) {
        for (Window* child : ChildWindows(dialog)) {
            if (IsButton(child) && IsWindowEnabled(child) && MnemonicOf(WindowTitle(child)) == key) {
                ClickControl(child);
                return true;
            }
        }
    }
    return true;
}

void EnableSystemClose(Window* dialog, bool enabled)
{
    std::lock_guard guard(stateLock);
    auto found = Dialogs().find(dialog);
    if (found != Dialogs().end())
        found->second.closeEnabled = enabled;
}

bool IsSystemCloseEnabled(Window* dialog)
{
    return InfoOf(dialog).closeEnabled;
}

void ClickControl(Window* control)
{
    SendMessage(control, kMsgLButtonDown, 0, 0);
}

namespace detail {
bool& ThreadHeadlessDialogs()
{
    thread_local bool headless = false;
    return headless;
}
} // namespace detail

} // namespace platform
