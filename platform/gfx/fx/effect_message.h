#pragma once
// The shape of every effect compiler message: "file(line,column): error X1234: text".
#include <string>

namespace gfx {

inline std::string FormatEffectError(const std::string& file, int line, int column, int code,
                                     const std::string& text)
{
    return file + "(" + std::to_string(line) + "," + std::to_string(column) + "): error X" +
           std::to_string(code) + ": " + text + "\n";
}

// The line of an effect whose compile was stopped, at whatever stage, because
// the program is closing.
inline std::string EffectClosingError(const std::string& file, int line = 1)
{
    return FormatEffectError(file, line, 1, 3000, "not compiled: the program is closing");
}

} // namespace gfx
