#include "platform/input/terminal_keys.h"

#include <cctype>

#include "platform/input/scan_codes.h"

namespace platform::input {

namespace {

constexpr char kEsc = '\x1b';

// Letters a..z by position.
constexpr uint8_t kLetterCodes[26] = {
    kKeyA, kKeyB, kKeyC, kKeyD, kKeyE, kKeyF, kKeyG, kKeyH, kKeyI, kKeyJ, kKeyK, kKeyL, kKeyM,
    kKeyN, kKeyO, kKeyP, kKeyQ, kKeyR, kKeyS, kKeyT, kKeyU, kKeyV, kKeyW, kKeyX, kKeyY, kKeyZ,
};

// The final byte of "ESC [" or "ESC O" sequences without a number.
uint8_t CodeOfFinal(char final)
{
    switch (final) {
    case 'A': return kKeyUp;
    case 'B': return kKeyDown;
    case 'C': return kKeyRight;
    case 'D': return kKeyLeft;
    case 'H': return kKeyHome;
    case 'F': return kKeyEnd;
    case 'P': return kKeyF1;
    case 'Q': return kKeyF2;
    case 'R': return kKeyF3;
    case 'S': return kKeyF4;
    default: return 0;
    }
}

// "ESC [ n ~" by its first number.
uint8_t CodeOfTilde(int n)
{
    switch (n) {
    case 1: case 7: return kKeyHome;
    case 2: return kKeyInsert;
    case 3: return kKeyDelete;
    case 4: case 8: return kKeyEnd;
    case 5: return kKeyPageUp;
    case 6: return kKeyPageDown;
    case 11: return kKeyF1;
    case 12: return kKeyF2;
    case 13: return kKeyF3;
    case 14: return kKeyF4;
    case 15: return kKeyF5;
    case 17: return kKeyF6;
    case 18: return kKeyF7;
    case 19: return kKeyF8;
    case 20: return kKeyF9;
    case 21: return kKeyF10;
    case 23: return kKeyF11;
    case 24: return kKeyF12;
    default: return 0;
    }
}

} // namespace

uint8_t ScanCodeOfCharacter(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return kLetterCodes[c - 'a'];
    if (c >= 'A' && c <= 'Z')
        return kLetterCodes[c - 'A'];
    if (c >= '1' && c <= '9')
        return static_cast<uint8_t>(kKey1 + (c - '1'));
    switch (c) {
    case '0': case ')': return kKey0;
    case '!': return kKey1;
    case '@': return kKey2;
    case '#': return kKey3;
    case '$': return kKey4;
    case '%': return kKey5;
    case '^': return kKey6;
    case '&': return kKey7;
    case '*': return kKey8;
    case '(': return kKey9;
    case '-': case '_': return kKeyMinus;
    case '=': case '+': return kKeyEquals;
    case '[': case '{': return kKeyLeftBracket;
    case ']': case '}': return kKeyRightBracket;
    case ';': case ':': return kKeySemicolon;
    case '\'': case '"': return kKeyApostrophe;
    case '`': case '~': return kKeyGrave;
    case '\\': case '|': return kKeyBackslash;
    case ',': case '<': return kKeyComma;
    case '.': case '>': return kKeyPeriod;
    case '/': case '?': return kKeySlash;
    case ' ': return kKeySpace;
    case '\r': case '\n': return kKeyEnter;
    case '\t': return kKeyTab;
    case 0x7f: case 0x08: return kKeyBackspace;
    case 0x1b: return kKeyEscape;
    default: return 0;
    }
}

bool TerminalKeyDecoder::DecodeEscape(std::vector<uint8_t>& codes)
{
    // pending_ starts with ESC.
    if (pending_.size() < 2)
        return false;
    const char second = pending_[1];
    if (second == kEsc) {
        // Escape pressed twice: the first one stands alone.
        codes.push_back(kKeyEscape);
        pending_.erase(0, 1);
        return true;
    }
    if (second != '[' && second != 'O') {
        // Alt with a key.
        if (uint8_t code = ScanCodeOfCharacter(static_cast<unsigned char>(second)))
            codes.push_back(code);
        pending_.erase(0, 2);
        return true;
    }
    // A control sequence: parameter bytes, then one final byte in '@'..'~'.
    size_t end = 2;
    while (end < pending_.size()) {
        const unsigned char b = static_cast<unsigned char>(pending_[end]);
        if (b >= 0x40 && b <= 0x7e)
            break;
        if (b < 0x20 || b > 0x3f) {
            // Not a sequence after all: drop what was read of it.
            pending_.erase(0, end);
            return true;
        }
        ++end;
    }
    if (end >= pending_.size()) {
        if (pending_.size() > kMaxSequence) {
            // Too long to be a key: the rest of it goes unread.
            pending_.clear();
            discarding_ = true;
        }
        return false;
    }
    const char final = pending_[end];
    uint8_t code = 0;
    if (final == '~') {
        int n = 0;
        for (size_t i = 2; i < end && std::isdigit(static_cast<unsigned char>(pending_[i])) && n < 1000; ++i)
            n = n * 10 + (pending_[i] - '0');
        code = CodeOfTilde(n);
    } else {
        code = CodeOfFinal(final);
    }
    if (code)
        codes.push_back(code);
    pending_.erase(0, end + 1);
    return true;
}

void TerminalKeyDecoder::Feed(std::string_view bytes, std::vector<uint8_t>& codes)
{
    for (char byte : bytes) {
        if (discarding_) {
            const unsigned char b = static_cast<unsigned char>(byte);
            if (b >= 0x20 && b <= 0x7e) {
                discarding_ = b <= 0x3f; // a final byte ends the sequence
                continue;
            }
            discarding_ = false;
        }
        if (pending_.empty() && byte != kEsc) {
            if (uint8_t code = ScanCodeOfCharacter(static_cast<unsigned char>(byte)))
                codes.push_back(code);
            continue;
        }
        pending_.push_back(byte);
        while (!pending_.empty()) {
            if (pending_[0] != kEsc) {
                if (uint8_t code = ScanCodeOfCharacter(static_cast<unsigned char>(pending_[0])))
                    codes.push_back(code);
                pending_.erase(0, 1);
                continue;
            }
            if (!DecodeEscape(codes))
                break;
        }
    }
}

void TerminalKeyDecoder::Expire(std::vector<uint8_t>& codes)
{
    if (pending_ == std::string(1, kEsc))
        codes.push_back(kKeyEscape);
    pending_.clear();
    discarding_ = false;
}

} // namespace platform::input
