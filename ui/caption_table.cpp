#include "ui/caption_table.h"

#include <cstring>

#include "platform/window/string_table.h"
#include "ui/engine_message_box.h"

namespace {

const CaptionTableEntry kCaptionTable[kCaptionSlotCount] = {
    {9005, "&Abort"},
    {9002, "Cancel"},
    {9009, "&Continue Anyway"},
    {9010, "Don't ask me again"},
    {9011, "Don't tell me again"},
    {9012, "Don't show again"},
    {9006, "&Help"},
    {9003, "&Ignore"},
    {9017, "I&gnore All"},
    {9008, "&No"},
    {9014, "N&o to All"},
    {9001, "OK"},
    {9016, "Re&port"},
    {9004, "&Retry"},
    {9018, "&Skip"},
    {9019, "S&kip All"},
    {9015, "&Try Again"},
    {9007, "&Yes"},
    {9013, "Y&es to All"},
};

std::string FixedText(const char* field, size_t maxChars)
{
    return std::string(field, strnlen(field, maxChars));
}

} // namespace

const CaptionTableEntry& CaptionTable(int slot)
{
    return kCaptionTable[slot];
}

void SetDefaultCaptions(CaptionSlots& captions, bool keepReport)
{
    for (int slot = 0; slot < kCaptionSlotCount; ++slot)
        if (!(keepReport && slot == SlotReport))
            captions[static_cast<size_t>(slot)] = kCaptionTable[slot].defaultText;
}

void ApplyCustomCaptions(CaptionSlots& captions, const EngineMessageBoxParams& params)
{
    for (int slot = 0; slot < kCaptionSlotCount; ++slot) {
        if (slot == SlotReport || params.customCaptions[slot][0] == '\0')
            continue;
        captions[static_cast<size_t>(slot)] = FixedText(params.customCaptions[slot], kCaptionMaxChars);
    }
}

void LoadCaptionStrings(CaptionSlots& captions, platform::Instance* stringModule)
{
    for (int slot = 0; slot < kCaptionSlotCount; ++slot) {
        if (slot == SlotReport)
            continue;
        std::string loaded = platform::LoadString(stringModule, kCaptionTable[slot].stringId, kCaptionMaxChars);
        captions[static_cast<size_t>(slot)] = loaded.empty() ? kCaptionTable[slot].defaultText : loaded;
    }
}

CaptionSlots ResolveCaptions(const EngineMessageBoxParams& params, uint32_t style)
{
    CaptionSlots captions;
    std::string report;
    if (params.reportCaptionId)
        report = platform::LoadString(params.stringModule, params.reportCaptionId, kCaptionMaxChars - 1);
    if (report.empty() && params.reportCaption[0])
        report = FixedText(params.reportCaption, kCaptionMaxChars);
    captions[SlotReport] = report;
    SetDefaultCaptions(captions, !report.empty());
    if (params.useCustomCaptions)
        ApplyCustomCaptions(captions, params);
    else if (!(style & kStyleNoResourceCaptions))
        LoadCaptionStrings(captions, params.stringModule);
    return captions;
}
