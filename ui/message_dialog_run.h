#pragma once
// Runs a laid-out message box: writes its dialog template, creates the dialog,
// and runs a private modal loop on the calling thread until an answer is
// chosen, the thread's quit message comes or a close signal (SIGINT, SIGTERM,
// SIGHUP) arrives; the last two end it without an answer. The dialog procedure
// turns commands into the result, runs the countdown (shown on the default
// button) and the disabled period (shown in the caption), colours the message
// area where it has a background of its own, and Ctrl+C copies the whole box
// to the clipboard. The icon control draws the icon.
#include <cstdint>
#include <string>

#include "platform/window/window.h"

class MessageDialog;

inline constexpr uintptr_t kCountdownTimer = 1;
inline constexpr uintptr_t kDisabledTimer = 2;
inline constexpr const char* kCopyRule = "---------------------------";

uint32_t RunMessageDialog(MessageDialog& dialog);
intptr_t EngineMessageBoxDlgProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t IconControlProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// True when it took the key (Ctrl+C), whether or not anything was copied.
bool HandleCopyKey(MessageDialog& dialog, platform::Window* dialogWindow, int key);
// The copy text of the box as its window shows it now.
std::string MessageDialogCopyText(platform::Window* dialogWindow, const MessageDialog& dialog);
bool CopyTextToClipboard(const std::string& text);
