#include "ui/message_dialog_run.h"

#include <cctype>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/os/paths.h"
#include "platform/window/clipboard.h"
#include "platform/window/close_signals.h"
#include "platform/window/dialog.h"
#include "platform/window/dialog_template.h"
#include "platform/window/help.h"
#include "platform/window/icons.h"
#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"
#include "platform/window/paint.h"
#include "platform/window/system_metrics.h"
#include "platform/window/timers.h"
#include "ui/button_sets.h"
#include "ui/engine_message_box.h"
#include "ui/message_dialog.h"
#include "ui/saved_answers.h"

namespace {

constexpr size_t kCopyTextMax = 8192;
constexpr size_t kTitleMax = 1023;

MessageDialog* DialogOf(platform::Window* window)
{
    return reinterpret_cast<MessageDialog*>(platform::WindowUserData(window));
}

bool IsButtonClass(platform::Window* window)
{
    std::string name = platform::WindowClassName(window);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "button";
}

// Any command or click ends the countdown for good.
void StopCountdown(platform::Window* window, MessageDialog& dialog)
{
    platform::KillTimer(window, kCountdownTimer);
    if (dialog.defaultCaptionSaved)
        platform::SetWindowTitle(platform::GetDialogItem(window, static_cast<int>(dialog.defaultButtonId)),
                                 dialog.savedDefaultCaption);
}

void OpenHelp(platform::Window* window, const MessageDialog& dialog)
{
    std::string path = platform::os::ExecutablePath().substr(0, 518);
    // Only a dot in the file name starts its extension; one in a folder name does not.
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.find_last_of('.');
    if (path.empty() || dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return;
    path = path.substr(0, dot) + ".hlp";
    if (dialog.helpContextId)
        platform::ShowHelp(window, path, platform::kHelpContext, dialog.helpContextId);
    else
        platform::ShowHelp(window, path, platform::kHelpPartialKey, 0);
}

void OnInitDialog(platform::Window* window, MessageDialog& dialog)
{
    platform::SetWindowUserData(window, reinterpret_cast<intptr_t>(&dialog));
    for (int id = 1; id <= 26; ++id) {
        platform::Window* control = platform::GetDialogItem(window, id);
        if (control && dialog.disabledSeconds > 0 && IsButtonClass(control)) {
            platform::EnableWindow(control, false);
            platform::EnableSystemClose(window, false);
        }
    }
    if (auto* check = platform::GetDialogItem(window, kIdCheckBox))
        platform::SendMessage(check, platform::kMsgButtonSetCheck, platform::kUnchecked, 0);
    platform::SetFocus(platform::GetDialogItem(window, static_cast<int>(dialog.defaultButtonId)));
    if (!(dialog.flags & (kFlagHasCancel | kFlagOkOnly)))
        platform::EnableSystemClose(window, false);
    if (dialog.icon) {
        if (auto* iconControl = platform::GetDialogItem(window, kIdIcon)) {
            platform::SetWindowProcedure(iconControl, IconControlProc);
            platform::SetWindowUserData(iconControl, reinterpret_cast<intptr_t>(dialog.icon));
        }
    }
    if (dialog.style & kStyleTopmost)
        platform::SetWindowTopmost(window, true);
    platform::Rect rect = platform::WindowRect(window);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (dialog.x != 0 || dialog.y != 0) {
        platform::MoveWindow(window, {dialog.x, dialog.y, dialog.x + width, dialog.y + height});
    } else if (platform::Window* parent = platform::GetOwner(window)) {
        const platform::Rect p = platform::WindowRect(parent);
        const int left = (p.left + p.right) / 2 - width / 2;
        const int top = (p.top + p.bottom) / 2 - height / 2;
        platform::MoveWindow(window, {left, top, left + width, top + height});
    }
    if (dialog.countdownSeconds > 0)
        platform::SetTimer(window, kCountdownTimer, 1000);
    if (dialog.disabledSeconds > 0)
        platform::SetTimer(window, kDisabledTimer, 1000);
    platform::SetActiveWindow(window);
}

void OnCommand(platform::Window* window, MessageDialog& dialog, uint32_t command)
{
    StopCountdown(window, dialog);
    switch (command) {
    case kIdHelpButton:
        OpenHelp(window, dialog);
        return;
    case kIdCancel:
        if (dialog.flags & kFlagHasCancel) {
            dialog.result = kIdCancel;
            dialog.ended = true;
        } else if (dialog.flags & kFlagOkOnly) {
            dialog.result = kIdOk;
            dialog.ended = true;
        }
        return;
    case kIdReportButton:
        if (dialog.reportCallback)
            dialog.reportCallback(dialog.text.c_str(), dialog.reportData);
        return;
    case kIdCheckBox:
        return;
    default:
        break;
    }
    platform::Window* check = platform::GetDialogItem(window, kIdCheckBox);
    const bool ticked = check && platform::SendMessage(check, platform::kMsgButtonGetCheck, 0, 0) ==
                                     platform::kChecked;
    if (ticked) {
        command |= (dialog.flags & 7) << 24;
        if (!dialog.answerKey.empty())
            WriteSavedAnswer(dialog.registryName, SavedAnswerValueName(dialog.answerKey, dialog.answerKeyNumber),
                             command);
    }
    dialog.result = command;
    dialog.ended = true;
}

void OnCountdownTick(platform::Window* window, MessageDialog& dialog)
{
    if (dialog.countdownSeconds < 1) {
        platform::KillTimer(window, kCountdownTimer);
        platform::SendMessage(window, platform::kMsgCommand, dialog.defaultButtonId + kResultTimedOut, 0);
        return;
    }
    if (auto* button = platform::GetDialogItem(window, static_cast<int>(dialog.defaultButtonId))) {
        if (!dialog.defaultCaptionSaved) {
            dialog.savedDefaultCaption = platform::WindowTitle(button).substr(0, 99);
            dialog.defaultCaptionSaved = true;
        }
        char shown[128];
        std::snprintf(shown, sizeof shown, "%s = %d", dialog.savedDefaultCaption.c_str(), dialog.countdownSeconds);
        platform::SetWindowTitle(button, shown);
    }
    // Counted down even without a default button, so such a box still times out.
    --dialog.countdownSeconds;
}

void OnDisabledTick(platform::Window* window, MessageDialog& dialog)
{
    if (dialog.disabledSeconds < 1) {
        platform::KillTimer(window, kDisabledTimer);
        for (int id = 1; id <= 26; ++id) {
            platform::Window* control = platform::GetDialogItem(window, id);
            if (control && IsButtonClass(control))
                platform::EnableWindow(control, true);
        }
        if (dialog.flags & (kFlagHasCancel | kFlagOkOnly))
            platform::EnableSystemClose(window, true);
        platform::SetWindowTitle(window, dialog.caption.substr(0, kTitleMax));
        platform::RedrawWindow(window);
        return;
    }
    platform::SetWindowTitle(window, dialog.caption.substr(0, kTitleMax) + " " +
                                         std::to_string(dialog.disabledSeconds));
    --dialog.disabledSeconds;
}

// The message area's colours, where it has a background of its own.
intptr_t ColourStatic(const MessageDialog& dialog, platform::DeviceContext* dc, platform::Window* control)
{
    if (!dialog.backgroundBrush)
        return 0;
    platform::SetBackColour(dc, dialog.backgroundColour == 0xFFFFFFFF
                                    ? platform::GetSystemColour(platform::kColourWindow)
                                    : dialog.backgroundColour);
    platform::SetTextColour(dc, dialog.textColour == 0xFFFFFFFF
                                    ? platform::GetSystemColour(platform::kColourWindowText)
                                    : dialog.textColour);
    if (platform::ControlId(control) == static_cast<int>(dialog.messageControlId))
        return reinterpret_cast<intptr_t>(dialog.backgroundBrush);
    return 0;
}

// The button face everywhere, then the message area's background from the top
// down to the message's bottom.
intptr_t EraseBackground(platform::Window* window, const MessageDialog& dialog, platform::DeviceContext* dc)
{
    if (!dialog.backgroundBrush)
        return 0;
    const platform::Rect client = platform::ClientRect(window);
    platform::Brush* face = platform::CreateSolidBrush(platform::GetSystemColour(platform::kColourButtonFace));
    platform::FillRect(dc, client, face);
    platform::DeleteBrush(face);
    platform::FillRect(dc, {client.left, client.top, client.right, dialog.messageRect.bottom},
                       dialog.backgroundBrush);
    return 1;
}

platform::DialogTemplate TemplateOf(const MessageDialog& dialog)
{
    platform::DialogTemplate out;
    out.style = dialog.templateStyle;
    out.exStyle = dialog.templateExStyle;
    out.x = dialog.templateX;
    out.y = dialog.templateY;
    out.cx = dialog.templateCx;
    out.cy = dialog.templateCy;
    out.title = dialog.caption.substr(0, kTitleMax);
    for (const auto& item : dialog.items)
        out.items.push_back({item->style, item->exStyle, item->x, item->y, item->cx, item->cy, item->id,
                             item->classAtom, item->text});
    return out;
}

} // namespace

intptr_t EngineMessageBoxDlgProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == platform::kMsgInitDialog) {
        OnInitDialog(window, *reinterpret_cast<MessageDialog*>(lParam));
        return 0;
    }
    MessageDialog* dialog = DialogOf(window);
    if (!dialog)
        return 0;
    switch (message) {
    case platform::kMsgCommand:
        OnCommand(window, *dialog, static_cast<uint32_t>(wParam));
        return 0;
    case platform::kMsgTimer:
        if (wParam == kCountdownTimer)
            OnCountdownTick(window, *dialog);
        else if (wParam == kDisabledTimer)
            OnDisabledTick(window, *dialog);
        return 0;
    case platform::kMsgLButtonDown:
    case platform::kMsgNcLButtonDown:
        StopCountdown(window, *dialog);
        return 0;
    case platform::kMsgCtlColorStatic:
        return ColourStatic(*dialog, reinterpret_cast<platform::DeviceContext*>(wParam),
                            reinterpret_cast<platform::Window*>(lParam));
    case platform::kMsgEraseBackground:
        return EraseBackground(window, *dialog, reinterpret_cast<platform::DeviceContext*>(wParam));
    default:
        return 0;
    }
}

intptr_t IconControlProc(platform::Window* window, uint32_t message, uintptr_t, intptr_t)
{
    if (message == platform::kMsgPaint) {
        platform::PaintStruct paint;
        platform::DeviceContext* dc = platform::BeginPaint(window, paint);
        platform::DrawIcon(dc, 0, 0, reinterpret_cast<const platform::Icon*>(platform::WindowUserData(window)));
        platform::EndPaint(window, paint);
    }
    return 0;
}

std::string MessageDialogCopyText(platform::Window* dialogWindow, const MessageDialog& dialog)
{
    const std::string rule = std::string(kCopyRule) + "\r\n";
    std::string text = rule + platform::WindowTitle(dialogWindow).substr(0, 999) + "\r\n" + rule;
    if (auto* messageControl = platform::GetDialogItem(dialogWindow, static_cast<int>(dialog.messageControlId)))
        text += platform::WindowTitle(messageControl).substr(0, 3999) + "\r\n" + rule;
    for (platform::Window* child : platform::ChildWindows(dialogWindow)) {
        if (!IsButtonClass(child))
            continue;
        std::string label;
        for (char c : platform::WindowTitle(child).substr(0, 198))
            if (c != '&')
                label += c;
        text += label + "   ";
    }
    text += "\r\n" + rule;
    return text.substr(0, kCopyTextMax - 1);
}

bool HandleCopyKey(MessageDialog& dialog, platform::Window* dialogWindow, int key)
{
    if (!platform::IsKeyDown(platform::kVkControl) || key != 'C')
        return false;
    if (!platform::IsWindow(dialogWindow))
        return true;
    CopyTextToClipboard(MessageDialogCopyText(dialogWindow, dialog));
    return true;
}

bool CopyTextToClipboard(const std::string& text)
{
    if (!platform::OpenClipboard())
        return false;
    platform::EmptyClipboard();
    const bool set = platform::SetClipboardText(text);
    // Closed whatever happened, or no program could use the clipboard again.
    platform::CloseClipboard();
    return set;
}

uint32_t RunMessageDialog(MessageDialog& dialog)
{
    // A close signal while the box waits (from the moment it is shown) is the
    // user declining to go on: once what was posted to it is handled, and so
    // an answer already given holds, the box ends without an answer, as it
    // does on the quit message.
    const platform::CloseSignalWatch closeSignal;
    const platform::DialogTemplate dialogTemplate = TemplateOf(dialog);
    const size_t size = platform::DialogTemplateSize(dialogTemplate);
    std::vector<uint8_t> block;
    try {
        block.resize(size);
    } catch (const std::bad_alloc&) {
        return kResultNoTemplateMemory;
    }
    platform::WriteDialogTemplate(dialogTemplate, block.data(), block.size());
    platform::Window* window = platform::CreateDialogFromTemplate(block.data(), block.size(), dialog.owner,
                                                                  EngineMessageBoxDlgProc,
                                                                  reinterpret_cast<intptr_t>(&dialog));
    if (!window)
        return dialog.result;
    if (dialog.owner)
        platform::EnableWindow(dialog.owner, false);

    bool quit = false;
    int quitCode = 0;
    while (!dialog.ended) {
        platform::Message message;
        if (!platform::PeekMessage(message, true)) {
            if (dialog.ended || closeSignal.Caught())
                break;
            platform::WaitMessage();
            continue;
        }
        if (message.message == platform::kMsgQuit) {
            quit = true;
            quitCode = static_cast<int>(message.wParam);
            break;
        }
        if (message.message == platform::kMsgKeyDown &&
            HandleCopyKey(dialog, window, static_cast<int>(message.wParam)))
            continue;
        if (!platform::IsDialogMessage(window, message)) {
            platform::TranslateMessage(message);
            platform::DispatchMessage(message);
        }
    }
    if (quit)
        platform::PostQuitMessage(quitCode);
    if (dialog.owner && platform::IsWindow(dialog.owner))
        platform::EnableWindow(dialog.owner, true);
    platform::DestroyWindow(window);
    return dialog.result;
}
