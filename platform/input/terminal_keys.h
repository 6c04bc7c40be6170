#pragma once
// The bytes a terminal sends for key presses, turned into keyboard scan codes:
// printable characters and Enter, Tab, Backspace by the key that types them
// (upper and lower case alike, Shift not reported), the arrow, editing and
// function keys by their escape sequences. A lone Escape byte is the Escape
// key only once nothing follows it; Escape before a character is Alt with that
// key, reported as the key. Anything else is skipped.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::input {

class TerminalKeyDecoder {
public:
    // Longest escape sequence kept while waiting for its end; longer ones are dropped.
    static constexpr size_t kMaxSequence = 16;

    // Appends the scan codes of the keys that `bytes` complete.
    void Feed(std::string_view bytes, std::vector<uint8_t>& codes);
    // Nothing more came: a waiting Escape is the Escape key; a cut sequence is dropped.
    void Expire(std::vector<uint8_t>& codes);
    // Bytes wait for what follows.
    bool Waiting() const { return !pending_.empty(); }

private:
    // Decodes pending_ from its start; false when it needs more bytes.
    bool DecodeEscape(std::vector<uint8_t>& codes);

    std::string pending_;
    bool discarding_ = false; // inside an over-long sequence

};

// The key that types the character `c`, or 0.
uint8_t ScanCodeOfCharacter(unsigned char c);

} // namespace platform::input
