#pragma once
// Remembered answers: an answer given with a "Don't ask me again" box ticked
// is kept in the current user's registry, under
// Software\[registryName\]<program file name>\EngineMessageBox, as a 32-bit
// value named after the caller's key text and number.
#include <cstdint>
#include <string>

inline constexpr const char* kKeyNameAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz98";
inline constexpr size_t kAnswerKeyMaxChars = 490;
inline constexpr size_t kSavedAnswerPathMax = 519;

// Turns the text in place: byte c at i becomes kKeyNameAlphabet[(c + 5i) mod 64].
std::string& MessageKeyName(std::string& text);
// The value name of a key text (its first 490 characters) and number.
std::string SavedAnswerValueName(const std::string& answerKey, int32_t answerKeyNumber);
// The registry key of the remembered answers; "" when it would pass 519 characters.
std::string SavedAnswerKeyPath(const std::string& registryName);

uint32_t ReadSavedAnswer(const std::string& registryName, const std::string& valueName);
void WriteSavedAnswer(const std::string& registryName, const std::string& valueName, uint32_t value);
// The stored answer for the key text and number, or 0; a null key text gives 0.
uint32_t CheckSavedAnswer(const std::string& registryName, const char* answerKey, int32_t answerKeyNumber);
