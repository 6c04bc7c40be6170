#pragma once
// The engine's modal message box: shows text, caption and the buttons of the
// style's button set, and returns the id of the button pressed.
namespace platform { class Window; }

struct MessageBoxParams; // countdown and remembered answer; not used yet

// Button ids as the system compares them.
inline constexpr unsigned kIdOk = 1;
inline constexpr unsigned kIdCancel = 2;
inline constexpr unsigned kIdAbort = 3;
inline constexpr unsigned kIdRetry = 4;
inline constexpr unsigned kIdIgnore = 5;
inline constexpr unsigned kIdYes = 6;
inline constexpr unsigned kIdNo = 7;
inline constexpr unsigned kIdContinueAnyway = 11;

// owner null: the active window's last pop-up owns the box; caption null: "Error".
unsigned EngineMessageBox(platform::Window* owner, const char* text, const char* caption, unsigned style,
                          const MessageBoxParams* params);
