#pragma once
// The shape of every effect compiler message, "file(line,column): error
// X1234: text" or "... warning X1234: text", and how text from a file is
// quoted in one.
#include <string>
#include <string_view>

namespace gfx {

inline std::string FormatEffectError(const std::string& file, int line, int column, int code,
                                     const std::string& text)
{
    return file + "(" + std::to_string(line) + "," + std::to_string(column) + "): error X" +
           std::to_string(code) + ": " + text + "\n";
}

// A warning: the effect compiles, and the line says what it took on trust.
inline std::string FormatEffectWarning(const std::string& file, int line, int column, int code,
                                       const std::string& text)
{
    return file + "(" + std::to_string(line) + "," + std::to_string(column) + "): warning X" +
           std::to_string(code) + ": " + text + "\n";
}

// The line of an effect whose compile was stopped, at whatever stage, because
// the program is closing.
inline std::string EffectClosingError(const std::string& file, int line = 1)
{
    return FormatEffectError(file, line, 1, 3000, "not compiled: the program is closing");
}

// Text from a file quoted in a message: printable text as it is, and at most
// a short piece of it. A piece cut short, by its length or by a byte that is
// not printable text, ends in "...".
inline std::string QuotedPiece(std::string_view text, size_t most = 64)
{
    size_t n = 0;
    while (n < text.size() && n < most && text[n] >= 0x20 && text[n] < 0x7F)
        ++n;
    return "'" + std::string(text.substr(0, n)) + (n < text.size() ? "...'" : "'");
}

} // namespace gfx
