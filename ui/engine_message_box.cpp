#include "ui/engine_message_box.h"

#include <cstring>

#include "platform/window/beep.h"
#include "platform/window/dialog_template.h"
#include "platform/window/modal_box.h"
#include "platform/window/string_table.h"
#include "platform/window/system_metrics.h"
#include "platform/window/window.h"
#include "ui/message_dialog.h"
#include "ui/message_dialog_run.h"
#include "ui/saved_answers.h"

namespace {

constexpr int32_t kLongestCountdown = 1000;
constexpr int32_t kCountdownCut = 10;

// A box whose thread answers from a script (tests) is answered from there,
// with the buttons the dialog would have shown.
unsigned AnswerFromScript(const MessageDialog& dialog)
{
    platform::ModalBoxRequest request;
    request.caption = dialog.caption;
    request.text = dialog.text;
    for (const auto& item : dialog.items) {
        if (item->classAtom != platform::kClassAtomButton || item->id == kIdCheckBox)
            continue;
        if (item->id == dialog.defaultButtonId)
            request.defaultButton = request.buttons.size();
        request.buttons.push_back({item->id, item->text});
    }
    return platform::ShowModalBox(request);
}

std::string PlainText(const char* text)
{
    if (IsStringId(text))
        return platform::LoadString(nullptr, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)),
                                    kMessageTextMax - 1);
    return std::string(text, strnlen(text, kMessageTextMax));
}

} // namespace

unsigned EngineMessageBox(platform::Window* owner, const char* text, const char* caption, unsigned style,
                          const EngineMessageBoxParams* params)
{
    if (!owner) {
        owner = platform::GetActiveWindow();
        if (owner)
            owner = platform::GetLastActivePopup(owner);
    }
    if ((style & kStyleIconHand) && (style & kStyleSystemModal))
        return platform::SystemMessageBox(owner, PlainText(text), caption ? PlainText(caption) : std::string(),
                                          style);
    if (!caption)
        caption = "Error";

    EngineMessageBoxParams local;
    if (params)
        local = *params;

    if ((style & kStyleCheckBoxMask) && local.answerKey && local.answerKey[0]) {
        const std::string registryName(local.registryName, strnlen(local.registryName, kParamsTextSize - 1));
        const uint32_t saved = CheckSavedAnswer(registryName, local.answerKey, local.answerKeyNumber);
        if (saved & kStyleCheckBoxMask)
            return saved;
    }
    if (local.timeoutSeconds >= kLongestCountdown)
        local.timeoutSeconds = kCountdownCut;
    if (local.disabledSeconds >= kLongestCountdown)
        local.disabledSeconds = kCountdownCut;
    if (platform::OsMajorVersion() >= 6)
        local.options |= kOptionVistaStyle;

    auto dialog = BuildMessageDialog(owner, text, caption, style, local);
    if (!(style & kStyleNoSound))
        platform::MessageBeep(style & kStyleIconMask);
    if (platform::ModalBoxScripted())
        return AnswerFromScript(*dialog);
    return RunMessageDialog(*dialog);
}
