#pragma once
// The object one shown message box lives in: its texts, captions, sizes and
// controls laid out in pixels and recorded in dialog units, ready to be
// written as the dialog template the window layer creates the dialog from.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/window.h"
#include "ui/caption_table.h"
#include "ui/message_box_params.h"

namespace platform {
struct Brush;
struct Icon;
} // namespace platform

inline constexpr size_t kMaxDialogItems = 20;
inline constexpr size_t kMessageTextMax = 65535;

enum class DialogItemKind { Static, PushButton, CheckBox };

struct DialogItem {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    uint16_t classAtom = 0;
    std::string text;
};

class MessageDialog {
public:
    MessageDialog() = default;
    ~MessageDialog();
    MessageDialog(const MessageDialog&) = delete;
    MessageDialog& operator=(const MessageDialog&) = delete;

    std::vector<std::unique_ptr<DialogItem>> items;
    ReportCallback reportCallback = nullptr;
    uint32_t reportData = 0;
    uint32_t flags = 0; // check-box kind 1/2/4, kFlagHasCancel, kFlagOkOnly
    int buttonsPlaced = 0;
    int defaultPlace = 1;
    int countdownSeconds = 0;
    int disabledSeconds = 0;
    int x = 0, y = 0;
    int buttonWidth = 0, countdownExtraWidth = 0, buttonHeight = 0, checkBoxHeight = 0;
    uint32_t result = 0xFFFFFFFF;
    int32_t answerKeyNumber = 0;
    uint32_t nextTextId = 1001;
    uint32_t defaultButtonId = 1;
    uint32_t helpContextId = 0;
    uint32_t style = 0;
    uint32_t messageControlId = 0;
    bool rightAligned = false;
    bool vistaStyle = false;
    bool narrow = false;
    bool ended = false;
    std::string answerKey;
    platform::Window* owner = nullptr;
    platform::Instance* stringModule = nullptr;
    platform::Instance* iconModule = nullptr;
    platform::Rect messageRect;
    std::string text;
    std::string caption;
    std::string customButtonText;
    std::string registryName;
    platform::Icon* icon = nullptr;
    uint32_t textColour = 0xFFFFFFFF;
    uint32_t backgroundColour = 0xFFFFFFFF;
    platform::Brush* backgroundBrush = nullptr; // owned; none without a background colour
    // Template header.
    uint32_t templateStyle = 0;
    uint32_t templateExStyle = 0;
    int16_t templateX = 0, templateY = 0, templateCx = 0, templateCy = 0;
    // The default button's caption while the countdown shows its seconds.
    std::string savedDefaultCaption;
    bool defaultCaptionSaved = false;
    std::array<int, kCaptionSlotCount> widths{};
    CaptionSlots captions;

    // Appends a control (pixel rectangle in, dialog units kept); a push button is
    // counted, and the one at the default place becomes the default button.
    void AddDialogItem(DialogItemKind kind, unsigned id, const platform::Rect& pixels, const std::string& text);
    // A push button with the caption of `slot`; returns the x step to the next one.
    int AddDialogButton(int slot, unsigned id, int x, int y);
};

// Fills the dialog from the call's arguments and its copy of the parameters
// (with the entry's limits applied).
std::unique_ptr<MessageDialog> BuildMessageDialog(platform::Window* owner, const char* text, const char* caption,
                                                  uint32_t style, const EngineMessageBoxParams& params);

// A text argument that is a string id rather than an address (below 0x10000).
bool IsStringId(const char* text);
