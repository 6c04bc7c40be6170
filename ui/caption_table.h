#pragma once
// The caption slots of a message box's buttons and check boxes: each slot has
// a default text and a string id under which a string table may localise it.
#include <array>
#include <cstdint>
#include <string>

#include "ui/message_box_params.h"

enum CaptionSlot : int {
    SlotAbort = 0,
    SlotCancel = 1,
    SlotContinue = 2,
    SlotAskAgain = 3,
    SlotTellAgain = 4,
    SlotShowAgain = 5,
    SlotHelp = 6,
    SlotIgnore = 7,
    SlotIgnoreAll = 8,
    SlotNo = 9,
    SlotNoToAll = 10,
    SlotOk = 11,
    SlotReport = 12,
    SlotRetry = 13,
    SlotSkip = 14,
    SlotSkipAll = 15,
    SlotTryAgain = 16,
    SlotYes = 17,
    SlotYesToAll = 18,
};

inline constexpr size_t kCaptionMaxChars = 99;

struct CaptionTableEntry {
    uint32_t stringId;
    const char* defaultText;
};
const CaptionTableEntry& CaptionTable(int slot);

using CaptionSlots = std::array<std::string, kCaptionSlotCount>;

// Every slot's default text, slot 12 (Report) too unless `keepReport`.
void SetDefaultCaptions(CaptionSlots& captions, bool keepReport);
// Each non-empty custom caption replaces its slot (never slot 12).
void ApplyCustomCaptions(CaptionSlots& captions, const EngineMessageBoxParams& params);
// Each slot but 12 from the string module, its default where the string is missing.
void LoadCaptionStrings(CaptionSlots& captions, platform::Instance* stringModule);
// The whole resolution: Report, defaults, then custom or localised captions.
CaptionSlots ResolveCaptions(const EngineMessageBoxParams& params, uint32_t style);
