#include "ui/message_dialog.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/window/dialog.h"
#include "platform/window/dialog_template.h"
#include "platform/window/icons.h"
#include "platform/window/paint.h"
#include "platform/window/string_table.h"
#include "platform/window/system_metrics.h"
#include "platform/window/text_metrics.h"
#include "ui/button_sets.h"
#include "ui/engine_message_box.h"

namespace {

constexpr uint32_t kStaticStyle = 0x50000000;
constexpr uint32_t kPushButtonStyle = 0x50010000;
constexpr uint32_t kCheckBoxStyle = 0x50010003;
constexpr uint32_t kDialogStyle = 0x90C80880;

int16_t Units(long long value)
{
    return static_cast<int16_t>(std::clamp<long long>(value, std::numeric_limits<int16_t>::min(),
                                                      std::numeric_limits<int16_t>::max()));
}

std::string LoadedOrCopied(const char* text, platform::Instance* module)
{
    if (IsStringId(text))
        return platform::LoadString(module, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)),
                                    kMessageTextMax - 1);
    return std::string(text, strnlen(text, kMessageTextMax));
}

platform::Icon* IconOfStyle(uint32_t style)
{
    switch (style & kStyleIconMask) {
    case 0:
        return nullptr;
    case kStyleIconHand:
        return platform::LoadSystemIcon(platform::kIconHand);
    case kStyleIconQuestion:
        return platform::LoadSystemIcon(platform::kIconQuestion);
    case kStyleIconAsterisk:
        return platform::LoadSystemIcon(platform::kIconAsterisk);
    default:
        return platform::LoadSystemIcon(platform::kIconExclamation);
    }
}

// The non-empty pieces of a custom button text, at most four.
std::vector<std::string> CustomPieces(const std::string& text)
{
    std::vector<std::string> pieces;
    size_t at = 0;
    while (at <= text.size() && pieces.size() < 4) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (end > at)
            pieces.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return pieces;
}

} // namespace

bool IsStringId(const char* text)
{
    return (reinterpret_cast<uintptr_t>(text) >> 16) == 0;
}

MessageDialog::~MessageDialog()
{
    platform::DestroyIcon(icon);
    platform::DeleteBrush(backgroundBrush);
}

void MessageDialog::AddDialogItem(DialogItemKind kind, unsigned id, const platform::Rect& pixels,
                                  const std::string& itemText)
{
    if (items.size() >= kMaxDialogItems)
        return;
    const auto units = platform::GetDialogBaseUnits();
    auto item = std::make_unique<DialogItem>();
    item->x = Units(static_cast<long long>(pixels.left) * 4 / units.x);
    item->y = Units(static_cast<long long>(pixels.top) * 8 / units.y);
    item->cx = Units(static_cast<long long>(pixels.right - pixels.left) * 4 / units.x);
    item->cy = Units(static_cast<long long>(pixels.bottom - pixels.top) * 8 / units.y);
    item->id = static_cast<uint16_t>(id);
    item->text = itemText;
    switch (kind) {
    case DialogItemKind::Static:
        item->classAtom = platform::kClassAtomStatic;
        item->style = kStaticStyle;
        break;
    case DialogItemKind::CheckBox:
        item->classAtom = platform::kClassAtomButton;
        item->style = kCheckBoxStyle;
        break;
    case DialogItemKind::PushButton:
        item->classAtom = platform::kClassAtomButton;
        item->style = kPushButtonStyle;
        if (++buttonsPlaced == defaultPlace) {
            item->style |= platform::kButtonStyleDefault;
            defaultButtonId = id;
        }
        break;
    }
    items.push_back(std::move(item));
}

int MessageDialog::AddDialogButton(int slot, unsigned id, int left, int top)
{
    const int width = widths[static_cast<size_t>(slot)];
    AddDialogItem(DialogItemKind::PushButton, id, {left, top, left + width, top + buttonHeight},
                  captions[static_cast<size_t>(slot)]);
    return width + 6;
}

std::unique_ptr<MessageDialog> BuildMessageDialog(platform::Window* owner, const char* text, const char* caption,
                                                  uint32_t style, const EngineMessageBoxParams& params)
{
    auto dialog = std::make_unique<MessageDialog>();
    MessageDialog& d = *dialog;

    // 1. What the dialog keeps of the call.
    d.reportCallback = params.reportCallback;
    d.reportData = params.reportData;
    d.countdownSeconds = params.timeoutSeconds;
    d.disabledSeconds = params.disabledSeconds;
    d.x = params.x;
    d.y = params.y;
    d.answerKeyNumber = params.answerKeyNumber;
    d.helpContextId = params.helpContextId;
    d.rightAligned = params.options & kOptionRightAlign;
    d.vistaStyle = params.options & kOptionVistaStyle;
    d.narrow = params.options & kOptionNarrow;
    if (params.answerKey)
        d.answerKey = params.answerKey;
    d.owner = owner;
    d.stringModule = params.stringModule;
    d.iconModule = params.iconModule;
    d.textColour = params.textColour;
    d.backgroundColour = params.backgroundColour;
    d.style = style;
    if (d.vistaStyle) {
        d.rightAligned = true;
        if (d.backgroundColour == 0xFFFFFFFF)
            d.backgroundColour = platform::GetSystemColour(platform::kColourWindow);
    }
    if (d.backgroundColour != 0xFFFFFFFF)
        d.backgroundBrush = platform::CreateSolidBrush(d.backgroundColour);

    // 2. Sizes from the dialog base units.
    const auto units = platform::GetDialogBaseUnits();
    d.buttonWidth = platform::MulDiv(38, units.x, 4);
    d.buttonHeight = platform::MulDiv(12, units.y, 8);
    d.countdownExtraWidth = platform::MulDiv(13, units.x, 4);
    if (d.vistaStyle) {
        d.buttonWidth += platform::MulDiv(6, units.x, 4);
        d.buttonHeight += platform::MulDiv(1, units.y, 8);
    }
    d.checkBoxHeight = platform::MulDiv(10, units.y, 8);

    // 3. Default place; registry name.
    const uint32_t place = (style & kStyleDefaultMask) >> 8;
    d.defaultPlace = place <= 5 ? static_cast<int>(place) + 1 : 1;
    d.registryName.assign(params.registryName, strnlen(params.registryName, kParamsTextSize - 1));

    // 4. Texts and captions.
    d.text = LoadedOrCopied(text, d.stringModule);
    d.caption = LoadedOrCopied(caption, d.stringModule);
    if (params.customButtonsId)
        d.customButtonText = platform::LoadString(d.stringModule, params.customButtonsId, 258);
    if (d.customButtonText.empty())
        d.customButtonText.assign(params.customButtons, strnlen(params.customButtons, kParamsTextSize - 1));
    d.captions = ResolveCaptions(params, style);

    // 6. Caption widths.
    for (size_t slot = 0; slot < d.captions.size(); ++slot) {
        d.widths[slot] = std::max(platform::TextExtent(d.captions[slot]).width + 20, d.buttonWidth);
        if (d.countdownSeconds != 0)
            d.widths[slot] += d.countdownExtraWidth;
    }

    // 7. Message width limit.
    const int screenWidth = platform::GetSystemMetric(platform::SystemMetric::ScreenWidth);
    const int iconWidth = platform::GetSystemMetric(platform::SystemMetric::IconWidth);
    const int iconHeight = platform::GetSystemMetric(platform::SystemMetric::IconHeight);
    int limit = d.vistaStyle ? screenWidth / 2 - 10 : screenWidth / 2 + 80;
    if (d.narrow)
        limit = screenWidth / 3;
    if (style & kStyleIconMask)
        limit -= 16 + iconWidth;

    // 8, 9. The message's size and rectangle.
    const auto textSize = platform::MeasureWrappedText(d.text, limit);
    const int lineHeight = platform::TextExtent("My").height;
    d.messageRect = {16, d.vistaStyle ? 32 : 16, textSize.width + 28,
                     textSize.height + (d.vistaStyle ? 61 : 29)};
    int dialogWidth = textSize.width + 28 + (d.vistaStyle ? 16 : 0);

    // 10. Icon.
    if (params.iconId)
        d.icon = platform::LoadIconResource(d.iconModule, static_cast<int>(params.iconId & 0xFFFF));
    else if (params.iconName[0])
        d.icon = platform::LoadIconResource(
            d.iconModule, std::string(params.iconName, strnlen(params.iconName, kParamsTextSize - 1)));
    else
        d.icon = IconOfStyle(style);
    int iconBottom = 0;
    if (d.icon) {
        const int m = d.vistaStyle ? 24 : 8;
        d.messageRect.left += m + iconWidth;
        d.messageRect.right += m + iconWidth;
        dialogWidth = d.messageRect.right + (d.vistaStyle ? 24 : 8);
        const platform::Rect iconRect{m, m, m + iconWidth + 2, m + iconHeight + 2};
        d.AddDialogItem(DialogItemKind::Static, kIdIcon, iconRect, "");
        iconBottom = iconRect.bottom;
        if (d.vistaStyle && textSize.height > lineHeight) {
            const int height = d.messageRect.bottom - d.messageRect.top;
            d.messageRect.top = m;
            d.messageRect.bottom = m + height;
        }
    }

    // 11. The message.
    d.messageControlId = d.nextTextId++;
    d.AddDialogItem(DialogItemKind::Static, d.messageControlId, d.messageRect, d.text);

    // 12. The button row: the set's buttons or the custom pieces, then Help and Report.
    struct RowButton {
        int slot; // -1: a custom piece
        unsigned id;
        int width;
        std::string text;
    };
    std::vector<RowButton> row;
    ButtonSet set;
    const auto pieces = CustomPieces(d.customButtonText);
    if (!pieces.empty()) {
        for (size_t i = 0; i < pieces.size(); ++i) {
            int width = std::max(platform::TextExtent(pieces[i]).width + 20, d.buttonWidth);
            if (d.countdownSeconds != 0)
                width += d.countdownExtraWidth;
            row.push_back({-1, kIdCustomFirst + static_cast<unsigned>(i), width, pieces[i]});
        }
    } else {
        // A custom text without any piece would leave a box nobody can answer:
        // the style's own set is shown instead.
        set = ButtonSetOfStyle(style);
        for (const auto& button : set.buttons)
            row.push_back({button.slot, button.id, d.widths[static_cast<size_t>(button.slot)], ""});
    }
    if (style & kStyleHelp)
        row.push_back({SlotHelp, kIdHelpButton, d.widths[SlotHelp], ""});
    if (d.reportCallback)
        row.push_back({SlotReport, kIdReportButton, d.widths[SlotReport], ""});
    const int count = static_cast<int>(row.size());
    int rowWidth = 6 * (count - 1);
    for (const auto& button : row)
        rowWidth += button.width;
    int rowTop = std::max(d.messageRect.bottom, iconBottom) + 5;
    if (d.icon || d.backgroundBrush)
        rowTop += 9;
    if (d.defaultPlace > count)
        d.defaultPlace = 1;
    const uint32_t checkBits = style & kStyleCheckBoxMask;
    int checkSlot = SlotAskAgain;
    uint32_t checkKind = 1;
    if (!(checkBits & kStyleAskAgainBox) && (checkBits & kStyleTellAgainBox)) {
        checkSlot = SlotTellAgain;
        checkKind = 2;
    } else if (!(checkBits & (kStyleAskAgainBox | kStyleTellAgainBox)) && checkBits) {
        checkSlot = SlotShowAgain;
        checkKind = 4;
    }
    const int checkWidth = checkBits ? d.widths[static_cast<size_t>(checkSlot)] + d.checkBoxHeight : 0;
    int dialogHeight = rowTop + d.buttonHeight + 12;
    dialogWidth = std::max(dialogWidth, rowWidth + 32);
    if (dialogWidth < checkWidth)
        dialogWidth = checkWidth + 16;
    int left = d.rightAligned ? dialogWidth - rowWidth - 16 : (dialogWidth - rowWidth) / 2;

    // 13. The buttons, left to right, then the check box.
    for (const auto& button : row) {
        if (button.slot >= 0) {
            left += d.AddDialogButton(button.slot, button.id, left, rowTop);
        } else {
            d.AddDialogItem(DialogItemKind::PushButton, button.id,
                            {left, rowTop, left + button.width, rowTop + d.buttonHeight}, button.text);
            left += button.width + 6;
        }
    }
    d.flags |= set.flags;
    if (checkBits) {
        const int top = rowTop + d.buttonHeight + 12;
        d.AddDialogItem(DialogItemKind::CheckBox, kIdCheckBox, {17, top, 17 + checkWidth, top + d.checkBoxHeight},
                        d.captions[static_cast<size_t>(checkSlot)]);
        dialogHeight = top + d.checkBoxHeight + 8;
        dialogWidth = std::max(dialogWidth, 17 + checkWidth);
        d.flags |= checkKind;
    }

    // 14. The template header.
    d.templateStyle = kDialogStyle | ((style & kStyleSystemModal) ? platform::kDialogStyleSysModal : 0);
    d.templateCx = Units(static_cast<long long>(dialogWidth) * 4 / units.x);
    d.templateCy = Units(static_cast<long long>(dialogHeight) * 8 / units.y);
    return dialog;
}
