#pragma once
// The engine's modal message box: an icon, a message, a row of buttons from a
// fixed set (or custom ones), optional Help and Report buttons, an optional
// "Don't ask me again" check box whose answer is remembered, a countdown that
// chooses the default button and a period with the buttons disabled. Returns
// the id of the button that ended it (with the check box's bit, and
// kResultTimedOut when the countdown chose), or kResultNoDialog (also when the
// quit message or a close signal ended its wait).
#include <cstdint>

#include "ui/message_box_params.h"

namespace platform { class Window; }

// Button ids as the system compares them.
inline constexpr unsigned kIdOk = 1;
inline constexpr unsigned kIdCancel = 2;
inline constexpr unsigned kIdAbort = 3;
inline constexpr unsigned kIdRetry = 4;
inline constexpr unsigned kIdIgnore = 5;
inline constexpr unsigned kIdYes = 6;
inline constexpr unsigned kIdNo = 7;
inline constexpr unsigned kIdTryAgain = 10;
inline constexpr unsigned kIdContinueAnyway = 11;
inline constexpr unsigned kIdSkip = 14;
inline constexpr unsigned kIdSkipAll = 15;
inline constexpr unsigned kIdIgnoreAll = 16;
inline constexpr unsigned kIdYesToAll = 19;
inline constexpr unsigned kIdNoToAll = 20;
inline constexpr unsigned kIdCustomFirst = 23;
inline constexpr unsigned kIdHelpButton = 300;
inline constexpr unsigned kIdReportButton = 301;
inline constexpr unsigned kIdIcon = 1000;
inline constexpr unsigned kIdMessageText = 1001;
inline constexpr unsigned kIdCheckBox = 5555;

// Style bits: the low ones are those of the system's own message box.
inline constexpr uint32_t kStyleButtonSetMask = 0x0000000F;
inline constexpr uint32_t kStyleIconMask = 0x000000F0;
inline constexpr uint32_t kStyleIconHand = 0x00000010;
inline constexpr uint32_t kStyleIconQuestion = 0x00000020;
inline constexpr uint32_t kStyleIconExclamation = 0x00000030;
inline constexpr uint32_t kStyleIconAsterisk = 0x00000040;
inline constexpr uint32_t kStyleDefaultMask = 0x00000F00;
inline constexpr uint32_t kStyleSystemModal = 0x00001000;
inline constexpr uint32_t kStyleHelp = 0x00004000;
inline constexpr uint32_t kStyleTopmost = 0x00040000;
inline constexpr uint32_t kStyleAskAgainBox = 0x01000000;
inline constexpr uint32_t kStyleTellAgainBox = 0x02000000;
inline constexpr uint32_t kStyleShowAgainBox = 0x04000000;
inline constexpr uint32_t kStyleCheckBoxMask = 0x07000000;
inline constexpr uint32_t kStyleYesToAll = 0x08000000;
inline constexpr uint32_t kStyleNoToAll = 0x10000000;
inline constexpr uint32_t kStyleNoResourceCaptions = 0x20000000;
inline constexpr uint32_t kStyleNoSound = 0x40000000;

// Results besides button ids.
inline constexpr uint32_t kResultTimedOut = 0x80000000;
inline constexpr uint32_t kResultNoDialog = 0xFFFFFFFF;
inline constexpr uint32_t kResultNoTemplateMemory = 2;

// owner null: the active window's last pop-up owns the box; caption null:
// "Error"; text or caption below 0x10000: a string id; params null: defaults.
unsigned EngineMessageBox(platform::Window* owner, const char* text, const char* caption, unsigned style,
                          const EngineMessageBoxParams* params);
