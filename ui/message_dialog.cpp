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

// What the layout steps hand on to each other, in pixels.
struct DialogLayout {
    platform::DialogBaseUnits units{};
    platform::TextSize text; // the wrapped message
    int lineHeight = 0;
    int iconWidth = 0, iconHeight = 0;
    int iconBottom = 0; // 0 without an icon
    int width = 0, height = 0;
};

// One button of the row: a caption slot's, or a custom piece with its own text.
struct RowButton {
    int slot; // -1: a custom piece
    unsigned id;
    int width;
    std::string text;
};

struct ButtonRow {
    std::vector<RowButton> buttons;
    uint32_t setFlags = 0; // kFlagHasCancel or kFlagOkOnly of the style's set
    int top = 0;
    int left = 0; // the first button's x
};

// The check box under the row: the slot and flag of the style's lowest
// check-box bit; none when the style has no such bit.
struct CheckBoxChoice {
    bool shown = false;
    int slot = SlotAskAgain;
    uint32_t kind = 1;
    int width = 0;
};

// 1. What the dialog keeps of the call; the newer look aligns right and
// paints the window colour unless a background colour is given.
void KeepCallValues(MessageDialog& d, platform::Window* owner, uint32_t style, const EngineMessageBoxParams& params)
{
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
}

// 2. Button and check-box sizes from the dialog base units.
void SetControlSizes(MessageDialog& d, DialogLayout& layout)
{
    layout.units = platform::GetDialogBaseUnits();
    const auto& units = layout.units;
    d.buttonWidth = platform::MulDiv(38, units.x, 4);
    d.buttonHeight = platform::MulDiv(12, units.y, 8);
    d.countdownExtraWidth = platform::MulDiv(13, units.x, 4);
    if (d.vistaStyle) {
        d.buttonWidth += platform::MulDiv(6, units.x, 4);
        d.buttonHeight += platform::MulDiv(1, units.y, 8);
    }
    d.checkBoxHeight = platform::MulDiv(10, units.y, 8);
}

// 3. The default place; the registry name.
void KeepDefaultPlace(MessageDialog& d, uint32_t style, const EngineMessageBoxParams& params)
{
    const uint32_t place = (style & kStyleDefaultMask) >> 8;
    d.defaultPlace = place <= 5 ? static_cast<int>(place) + 1 : 1;
    d.registryName.assign(params.registryName, strnlen(params.registryName, kParamsTextSize - 1));
}

// 4. The text, the caption, the custom button text and the caption slots.
void LoadTexts(MessageDialog& d, const char* text, const char* caption, uint32_t style,
               const EngineMessageBoxParams& params)
{
    d.text = LoadedOrCopied(text, d.stringModule);
    d.caption = LoadedOrCopied(caption, d.stringModule);
    if (params.customButtonsId)
        d.customButtonText = platform::LoadString(d.stringModule, params.customButtonsId, 258);
    if (d.customButtonText.empty())
        d.customButtonText.assign(params.customButtons, strnlen(params.customButtons, kParamsTextSize - 1));
    d.captions = ResolveCaptions(params, style);
}

// A button's width for its caption: the text and a margin, at least the
// button width, wider by the countdown's room while one runs.
int ButtonWidth(const MessageDialog& d, const std::string& caption)
{
    int width = std::max(platform::TextExtent(caption).width + 20, d.buttonWidth);
    if (d.countdownSeconds != 0)
        width += d.countdownExtraWidth;
    return width;
}

// 6. Every caption slot's button width.
void MeasureCaptions(MessageDialog& d)
{
    for (size_t slot = 0; slot < d.captions.size(); ++slot)
        d.widths[slot] = ButtonWidth(d, d.captions[slot]);
}

// 7. The width the message wraps at.
int MessageWidthLimit(const MessageDialog& d, uint32_t style, DialogLayout& layout)
{
    const int screenWidth = platform::GetSystemMetric(platform::SystemMetric::ScreenWidth);
    layout.iconWidth = platform::GetSystemMetric(platform::SystemMetric::IconWidth);
    layout.iconHeight = platform::GetSystemMetric(platform::SystemMetric::IconHeight);
    int limit = d.vistaStyle ? screenWidth / 2 - 10 : screenWidth / 2 + 80;
    if (d.narrow)
        limit = screenWidth / 3;
    if (style & kStyleIconMask)
        limit -= 16 + layout.iconWidth;
    return limit;
}

// 8, 9. The message's size and rectangle, and the dialog's first width.
void PlaceMessage(MessageDialog& d, int limit, DialogLayout& layout)
{
    layout.text = platform::MeasureWrappedText(d.text, limit);
    layout.lineHeight = platform::TextExtent("My").height;
    d.messageRect = {16, d.vistaStyle ? 32 : 16, layout.text.width + 28,
                     layout.text.height + (d.vistaStyle ? 61 : 29)};
    layout.width = layout.text.width + 28 + (d.vistaStyle ? 16 : 0);
}

// The parameters' icon resource, else the style's system icon, else none.
platform::Icon* LoadDialogIcon(const MessageDialog& d, uint32_t style, const EngineMessageBoxParams& params)
{
    if (params.iconId)
        return platform::LoadIconResource(d.iconModule, static_cast<int>(params.iconId & 0xFFFF));
    if (params.iconName[0])
        return platform::LoadIconResource(
            d.iconModule, std::string(params.iconName, strnlen(params.iconName, kParamsTextSize - 1)));
    return IconOfStyle(style);
}

// 10. The icon at the top left, the message moved right of it (and, with the
// newer look and more than one line, up beside it).
void PlaceIcon(MessageDialog& d, uint32_t style, const EngineMessageBoxParams& params, DialogLayout& layout)
{
    d.icon = LoadDialogIcon(d, style, params);
    if (!d.icon)
        return;
    const int m = d.vistaStyle ? 24 : 8;
    d.messageRect.left += m + layout.iconWidth;
    d.messageRect.right += m + layout.iconWidth;
    layout.width = d.messageRect.right + (d.vistaStyle ? 24 : 8);
    const platform::Rect iconRect{m, m, m + layout.iconWidth + 2, m + layout.iconHeight + 2};
    d.AddDialogItem(DialogItemKind::Static, kIdIcon, iconRect, "");
    layout.iconBottom = iconRect.bottom;
    if (d.vistaStyle && layout.text.height > layout.lineHeight) {
        const int height = d.messageRect.bottom - d.messageRect.top;
        d.messageRect.top = m;
        d.messageRect.bottom = m + height;
    }
}

// 12. The row's buttons: the custom pieces or the style's set, then Help and
// Report.
ButtonRow RowButtons(const MessageDialog& d, uint32_t style)
{
    ButtonRow row;
    const auto pieces = CustomPieces(d.customButtonText);
    if (!pieces.empty()) {
        for (size_t i = 0; i < pieces.size(); ++i)
            row.buttons.push_back({-1, kIdCustomFirst + static_cast<unsigned>(i), ButtonWidth(d, pieces[i]),
                                   pieces[i]});
    } else {
        // A custom text without any piece would leave a box nobody can answer:
        // the style's own set is shown instead.
        const ButtonSet set = ButtonSetOfStyle(style);
        for (const auto& button : set.buttons)
            row.buttons.push_back({button.slot, button.id, d.widths[static_cast<size_t>(button.slot)], ""});
        row.setFlags = set.flags;
    }
    if (style & kStyleHelp)
        row.buttons.push_back({SlotHelp, kIdHelpButton, d.widths[SlotHelp], ""});
    if (d.reportCallback)
        row.buttons.push_back({SlotReport, kIdReportButton, d.widths[SlotReport], ""});
    return row;
}

// 12. The check box of the lowest check-box bit of the style.
CheckBoxChoice CheckBoxOfStyle(const MessageDialog& d, uint32_t style)
{
    CheckBoxChoice check;
    const uint32_t checkBits = style & kStyleCheckBoxMask;
    if (!checkBits)
        return check;
    check.shown = true;
    if (!(checkBits & kStyleAskAgainBox) && (checkBits & kStyleTellAgainBox)) {
        check.slot = SlotTellAgain;
        check.kind = 2;
    } else if (!(checkBits & (kStyleAskAgainBox | kStyleTellAgainBox))) {
        check.slot = SlotShowAgain;
        check.kind = 4;
    }
    check.width = d.widths[static_cast<size_t>(check.slot)] + d.checkBoxHeight;
    return check;
}

// 12. The row under the message and the icon, centred (or right-aligned) in
// a dialog wide enough for it and the check box.
void LayOutButtonRow(MessageDialog& d, ButtonRow& row, const CheckBoxChoice& check, DialogLayout& layout)
{
    const int count = static_cast<int>(row.buttons.size());
    int rowWidth = 6 * (count - 1);
    for (const auto& button : row.buttons)
        rowWidth += button.width;
    row.top = std::max(d.messageRect.bottom, layout.iconBottom) + 5;
    if (d.icon || d.backgroundBrush)
        row.top += 9;
    if (d.defaultPlace > count)
        d.defaultPlace = 1;
    layout.height = row.top + d.buttonHeight + 12;
    layout.width = std::max(layout.width, rowWidth + 32);
    if (layout.width < check.width)
        layout.width = check.width + 16;
    row.left = d.rightAligned ? layout.width - rowWidth - 16 : (layout.width - rowWidth) / 2;
}

// 13. The buttons, left to right, six pixels apart.
void AddButtonRow(MessageDialog& d, const ButtonRow& row)
{
    int left = row.left;
    for (const auto& button : row.buttons) {
        if (button.slot >= 0) {
            left += d.AddDialogButton(button.slot, button.id, left, row.top);
        } else {
            d.AddDialogItem(DialogItemKind::PushButton, button.id,
                            {left, row.top, left + button.width, row.top + d.buttonHeight}, button.text);
            left += button.width + 6;
        }
    }
    d.flags |= row.setFlags;
}

// 13. The check box below the row; the dialog grows to hold it.
void AddCheckBox(MessageDialog& d, const CheckBoxChoice& check, int rowTop, DialogLayout& layout)
{
    if (!check.shown)
        return;
    const int top = rowTop + d.buttonHeight + 12;
    d.AddDialogItem(DialogItemKind::CheckBox, kIdCheckBox, {17, top, 17 + check.width, top + d.checkBoxHeight},
                    d.captions[static_cast<size_t>(check.slot)]);
    layout.height = top + d.checkBoxHeight + 8;
    layout.width = std::max(layout.width, 17 + check.width);
    d.flags |= check.kind;
}

// 14. The template header: the dialog's style and size in dialog units.
void WriteTemplateHeader(MessageDialog& d, uint32_t style, const DialogLayout& layout)
{
    const auto& units = layout.units;
    d.templateStyle = kDialogStyle | ((style & kStyleSystemModal) ? platform::kDialogStyleSysModal : 0);
    d.templateCx = Units(static_cast<long long>(layout.width) * 4 / units.x);
    d.templateCy = Units(static_cast<long long>(layout.height) * 8 / units.y);
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
    DialogLayout layout;
    KeepCallValues(d, owner, style, params);
    SetControlSizes(d, layout);
    KeepDefaultPlace(d, style, params);
    LoadTexts(d, text, caption, style, params);
    MeasureCaptions(d);
    PlaceMessage(d, MessageWidthLimit(d, style, layout), layout);
    PlaceIcon(d, style, params, layout);
    // 11. The message, the first text control.
    d.messageControlId = d.nextTextId++;
    d.AddDialogItem(DialogItemKind::Static, d.messageControlId, d.messageRect, d.text);

    ButtonRow row = RowButtons(d, style);
    const CheckBoxChoice check = CheckBoxOfStyle(d, style);
    LayOutButtonRow(d, row, check, layout);
    AddButtonRow(d, row);
    AddCheckBox(d, check, row.top, layout);
    WriteTemplateHeader(d, style, layout);
    return dialog;
}
