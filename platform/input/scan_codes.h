#pragma once
// Keyboard scan codes: the index of each key in the keyboard device's 256 key
// bytes. The numbers are the ones key bindings store and compare.
#include <cstdint>

namespace platform::input {

inline constexpr uint8_t kKeyEscape = 1;
inline constexpr uint8_t kKey1 = 2;
inline constexpr uint8_t kKey2 = 3;
inline constexpr uint8_t kKey3 = 4;
inline constexpr uint8_t kKey4 = 5;
inline constexpr uint8_t kKey5 = 6;
inline constexpr uint8_t kKey6 = 7;
inline constexpr uint8_t kKey7 = 8;
inline constexpr uint8_t kKey8 = 9;
inline constexpr uint8_t kKey9 = 10;
inline constexpr uint8_t kKey0 = 11;
inline constexpr uint8_t kKeyMinus = 12;
inline constexpr uint8_t kKeyEquals = 13;
inline constexpr uint8_t kKeyBackspace = 14;
inline constexpr uint8_t kKeyTab = 15;
inline constexpr uint8_t kKeyQ = 16;
inline constexpr uint8_t kKeyW = 17;
inline constexpr uint8_t kKeyE = 18;
inline constexpr uint8_t kKeyR = 19;
inline constexpr uint8_t kKeyT = 20;
inline constexpr uint8_t kKeyY = 21;
inline constexpr uint8_t kKeyU = 22;
inline constexpr uint8_t kKeyI = 23;
inline constexpr uint8_t kKeyO = 24;
inline constexpr uint8_t kKeyP = 25;
inline constexpr uint8_t kKeyLeftBracket = 26;
inline constexpr uint8_t kKeyRightBracket = 27;
inline constexpr uint8_t kKeyEnter = 28;
inline constexpr uint8_t kKeyLeftControl = 29;
inline constexpr uint8_t kKeyA = 30;
inline constexpr uint8_t kKeyS = 31;
inline constexpr uint8_t kKeyD = 32;
inline constexpr uint8_t kKeyF = 33;
inline constexpr uint8_t kKeyG = 34;
inline constexpr uint8_t kKeyH = 35;
inline constexpr uint8_t kKeyJ = 36;
inline constexpr uint8_t kKeyK = 37;
inline constexpr uint8_t kKeyL = 38;
inline constexpr uint8_t kKeySemicolon = 39;
inline constexpr uint8_t kKeyApostrophe = 40;
inline constexpr uint8_t kKeyGrave = 41;
inline constexpr uint8_t kKeyLeftShift = 42;
inline constexpr uint8_t kKeyBackslash = 43;
inline constexpr uint8_t kKeyZ = 44;
inline constexpr uint8_t kKeyX = 45;
inline constexpr uint8_t kKeyC = 46;
inline constexpr uint8_t kKeyV = 47;
inline constexpr uint8_t kKeyB = 48;
inline constexpr uint8_t kKeyN = 49;
inline constexpr uint8_t kKeyM = 50;
inline constexpr uint8_t kKeyComma = 51;
inline constexpr uint8_t kKeyPeriod = 52;
inline constexpr uint8_t kKeySlash = 53;
inline constexpr uint8_t kKeyRightShift = 54;
inline constexpr uint8_t kKeyPadMultiply = 55;
inline constexpr uint8_t kKeyLeftAlt = 56;
inline constexpr uint8_t kKeySpace = 57;
inline constexpr uint8_t kKeyCapsLock = 58;
inline constexpr uint8_t kKeyF1 = 59;
inline constexpr uint8_t kKeyF2 = 60;
inline constexpr uint8_t kKeyF3 = 61;
inline constexpr uint8_t kKeyF4 = 62;
inline constexpr uint8_t kKeyF5 = 63;
inline constexpr uint8_t kKeyF6 = 64;
inline constexpr uint8_t kKeyF7 = 65;
inline constexpr uint8_t kKeyF8 = 66;
inline constexpr uint8_t kKeyF9 = 67;
inline constexpr uint8_t kKeyF10 = 68;
inline constexpr uint8_t kKeyNumLock = 69;
inline constexpr uint8_t kKeyScrollLock = 70;
inline constexpr uint8_t kKeyPad7 = 71;
inline constexpr uint8_t kKeyPad8 = 72;
inline constexpr uint8_t kKeyPad9 = 73;
inline constexpr uint8_t kKeyPadMinus = 74;
inline constexpr uint8_t kKeyPad4 = 75;
inline constexpr uint8_t kKeyPad5 = 76;
inline constexpr uint8_t kKeyPad6 = 77;
inline constexpr uint8_t kKeyPadPlus = 78;
inline constexpr uint8_t kKeyPad1 = 79;
inline constexpr uint8_t kKeyPad2 = 80;
inline constexpr uint8_t kKeyPad3 = 81;
inline constexpr uint8_t kKeyPad0 = 82;
inline constexpr uint8_t kKeyPadPeriod = 83;
inline constexpr uint8_t kKeyOem102 = 86; // the extra key beside left Shift on 102-key boards
inline constexpr uint8_t kKeyF11 = 87;
inline constexpr uint8_t kKeyF12 = 88;
inline constexpr uint8_t kKeyF13 = 100;
inline constexpr uint8_t kKeyF14 = 101;
inline constexpr uint8_t kKeyF15 = 102;
// Keys whose scan code comes after an extension prefix carry the top bit.
inline constexpr uint8_t kKeyPadEnter = 156;
inline constexpr uint8_t kKeyRightControl = 157;
inline constexpr uint8_t kKeyPadDivide = 181;
inline constexpr uint8_t kKeyPrintScreen = 183;
inline constexpr uint8_t kKeyRightAlt = 184;
inline constexpr uint8_t kKeyPause = 197;
inline constexpr uint8_t kKeyHome = 199;
inline constexpr uint8_t kKeyUp = 200;
inline constexpr uint8_t kKeyPageUp = 201;
inline constexpr uint8_t kKeyLeft = 203;
inline constexpr uint8_t kKeyRight = 205;
inline constexpr uint8_t kKeyEnd = 207;
inline constexpr uint8_t kKeyDown = 208;
inline constexpr uint8_t kKeyPageDown = 209;
inline constexpr uint8_t kKeyInsert = 210;
inline constexpr uint8_t kKeyDelete = 211;
inline constexpr uint8_t kKeyLeftSystem = 219;
inline constexpr uint8_t kKeyRightSystem = 220;
inline constexpr uint8_t kKeyMenu = 221;

inline constexpr int kKeyCount = 256;
// Set in a key byte while the key is held.
inline constexpr uint8_t kKeyHeld = 0x80;

} // namespace platform::input
