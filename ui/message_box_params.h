#pragma once
// The parameter block of a message box: countdown, disabled period, position,
// look, custom icon, buttons and captions, the Report button and the key under
// which a ticked "Don't ask me again" answer is remembered. Texts live in fixed
// arrays and are cut at their size.
#include <cstdint>

namespace platform { struct Instance; }

inline constexpr uint32_t kOptionRightAlign = 1;
inline constexpr uint32_t kOptionVistaStyle = 2;
inline constexpr uint32_t kOptionNarrow = 4;

inline constexpr int kCaptionSlotCount = 19;
inline constexpr int kParamsTextSize = 260;

using ReportCallback = void (*)(const char* messageText, uint32_t reportData);

struct EngineMessageBoxParams {
    EngineMessageBoxParams();

    uint32_t helpContextId;
    int32_t timeoutSeconds;
    int32_t disabledSeconds;
    int32_t x;
    int32_t y;
    uint32_t options;
    platform::Instance* stringModule;
    platform::Instance* iconModule;
    uint32_t iconId;
    char iconName[kParamsTextSize];
    uint32_t customButtonsId;
    char customButtons[kParamsTextSize];
    uint32_t reportCaptionId;
    char reportCaption[kParamsTextSize];
    char registryName[kParamsTextSize];
    const char* answerKey;
    int32_t answerKeyNumber;
    uint32_t reportData;
    ReportCallback reportCallback;
    uint32_t textColour;
    uint32_t backgroundColour;
    uint32_t useCustomCaptions;
    char customCaptions[kCaptionSlotCount][kParamsTextSize];
};

// Copies `text` into a fixed array of the block, cut to fit.
void SetParamsText(char (&field)[kParamsTextSize], const char* text);
