#include "platform/window/dialog.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/window/dialog_font.h"
#include "platform/window/dialog_painter.h"
#include "platform/window/dialog_template.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/modal_box.h"
#include "platform/window/screen.h"
#include "platform/window/system_metrics.h"
#include "platform/window/terminal_dialog.h"

namespace platform {

namespace {

enum class ShownOn { kNothing, kTerminal, kScreen };

struct DialogInfo {
    WindowProc procedure = nullptr;
    bool closeEnabled = true;
    ShownOn shownOn = ShownOn::kNothing;
    // A real window's: what the picture last showed, and the thread's wait
    // before the dialog's painting took it over.
    std::string painted;
    std::function<void()> previousWait;
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
        if (info.shownOn == ShownOn::kTerminal)
            detail::DetachTerminal(dialog);
        if (info.shownOn == ShownOn::kScreen)
            detail::ThreadWaitHook() = info.previousWait;
        std::lock_guard guard(stateLock);
        Dialogs().erase(dialog);
    }
    return result;
}

bool Checked(Window* button)
{
    std::lock_guard guard(stateLock);
    auto found = Checks().find(button);
    return found != Checks().end() && found->second;
}

// What the dialog's picture shows, in a line: caption, then each control's
// text, state and place.
std::string ShownState(Window* dialog)
{
    std::string state = WindowTitle(dialog);
    for (Window* child : ChildWindows(dialog)) {
        const Rect rect = WindowRect(child);
        state += '\x1f' + WindowTitle(child) + '\x1e' + (IsWindowEnabled(child) ? 'e' : 'd') +
                 (IsWindowVisible(child) ? 'v' : 'h') + (GetFocus() == child ? 'f' : 'n') +
                 (Checked(child) ? 'c' : 'u') + std::to_string(rect.left) + ',' + std::to_string(rect.top) + ',' +
                 std::to_string(rect.right) + ',' + std::to_string(rect.bottom);
    }
    return state;
}

void Paint(Window* dialog, bool always)
{
    const std::string state = ShownState(dialog);
    {
        std::lock_guard guard(stateLock);
        auto found = Dialogs().find(dialog);
        if (found == Dialogs().end() || found->second.shownOn != ShownOn::kScreen ||
            (!always && found->second.painted == state))
            return;
        found->second.painted = state;
    }
    detail::PaintDialog(dialog);
}

// Shows the dialog on a real window: placed, painted, then shown with the
// focus; from then on painted whenever its thread waits. False when the
// window system refuses.
bool ShowOnScreen(Window* dialog)
{
    const Rect rect = WindowRect(dialog);
    if (!OpenDialogScreen(dialog, rect, IsWindowTopmost(dialog)))
        return false;
    {
        std::lock_guard guard(stateLock);
        auto& info = Dialogs()[dialog];
        info.shownOn = ShownOn::kScreen;
        info.previousWait = detail::ThreadWaitHook();
    }
    detail::ThreadWaitHook() = [dialog] {
        Paint(dialog, false);
        detail::WaitForThreadMessage();
    };
    return true;
}

intptr_t ButtonProc(Window* button, uint32_t message, uintptr_t wParam, intptr_t)
{
    switch (message) {
    case kMsgPaint:
        detail::PaintButtonControl(button, Checked(button), GetFocus() == button);
        return 0;
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
    if (message == kMsgPaint)
        detail::PaintStaticControl(control);
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
    // The message font is there only where a display is named.
    bool onScreen = !headless && detail::MessageFontReady();
    const auto unshown = [&] {
        std::string texts;
        for (const auto& item : dialogTemplate->items)
            if (item.classAtom == kClassAtomStatic && !item.text.empty())
                texts += (texts.empty() ? "" : "\n") + item.text;
        detail::WriteUnshownBox(dialogTemplate->title, texts);
    };
    if (!headless && !onScreen && !detail::TerminalAvailable()) {
        unshown();
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
    Window* dialog = detail::CreatePlatformWindow(kDialogClassName, dialogTemplate->title, dialogTemplate->style,
                                                  rect, nullptr, owner, 0, DialogWindowProc);
    {
        std::lock_guard guard(stateLock);
        Dialogs()[dialog] = {dialogProc, true, ShownOn::kNothing, {}, {}};
    }
    for (const auto& item : dialogTemplate->items) {
        const bool button = item.classAtom == kClassAtomButton;
        detail::CreatePlatformWindow(button ? kButtonClassName : kStaticClassName, item.text, item.style,
                                     Pixels(item.x, item.y, item.cx, item.cy), dialog, nullptr, item.id,
                                     button ? ButtonProc : StaticProc);
    }
    SetActiveWindow(dialog);
    if (onScreen && !ShowOnScreen(dialog)) {
        // The display did not answer: the terminal, where there is one, shows it instead.
        onScreen = false;
        if (!detail::TerminalAvailable()) {
            DestroyWindow(dialog);
            unshown();
            return nullptr;
        }
    }
    if (!headless && !onScreen) {
        std::lock_guard guard(stateLock);
        Dialogs()[dialog].shownOn = ShownOn::kTerminal;
    }
    if (!headless && !onScreen)
        detail::AttachTerminal(dialog);
    Window* firstStop = nullptr;
    for (Window* child : ChildWindows(dialog))
        if (!firstStop && (WindowStyle(child) & kStyleTabStop))
            firstStop = child;
    if (SendMessage(dialog, kMsgInitDialog, reinterpret_cast<uintptr_t>(firstStop), param) && firstStop)
        SetFocus(firstStop);
    if (!IsWindow(dialog))
        return nullptr;
    if (onScreen) {
        // Where the dialog procedure put it, all of it on the desktop where it
        // fits, painted before it is seen. Centred on an owner that has no
        // real window (its place on the desktop is no place), it stays
        // centred on the desktop.
        const Rect placed = WindowRect(dialog);
        int left = placed.left, top = placed.top;
        if (Window* owner = GetOwner(dialog); owner && !HasScreen(owner)) {
            const Rect o = WindowRect(owner);
            if (left == (o.left + o.right) / 2 - width / 2 && top == (o.top + o.bottom) / 2 - height / 2) {
                left = rect.left;
                top = rect.top;
            }
        }
        if (const auto desktop = DesktopRect()) {
            left = std::max(std::min(left, desktop->right - width), desktop->left);
            top = std::max(std::min(top, desktop->bottom - height), desktop->top);
        }
        if (left != rect.left || top != rect.top)
            MoveScreen(dialog, left, top);
        Paint(dialog, true);
        ShowScreen(dialog);
    }
    return dialog;
}

bool IsDialogMessage(Window* dialog, const Message& message)
{
    if (!IsWindow(dialog) || (message.window != dialog && GetParent(message.window) != dialog))
        return false;
    const int key = static_cast<int>(message.wParam);
    if (message.message == kMsgSysKeyDown) {
        // Alt with a letter or digit: the button whose mnemonic it is.
        if (std::isalnum(key))
            for (Window* child : ChildWindows(dialog))
                if (IsButton(child) && IsWindowEnabled(child) && MnemonicOf(WindowTitle(child)) == key) {
                    ClickControl(child);
                    return true;
                }
        return true;
    }
    if (message.message != kMsgKeyDown)
        return false;
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

void RedrawWindow(Window* dialog)
{
    Paint(dialog, true);
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
