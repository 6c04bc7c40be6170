#pragma once
// The character classes both effect readers share, so the preprocessor and the
// parser agree on what an identifier, a blank and the start of a number are.
// Bytes outside ASCII are never letters or digits, whatever the C locale says.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string_view>

namespace gfx {

inline bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
inline bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
inline bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
// White space within a line (the line break is not a blank).
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// A whole identifier: a letter or '_', then letters, digits and '_'.
inline bool IsIdentifier(std::string_view s)
{
    return !s.empty() && IsIdentStart(s.front()) && std::all_of(s.begin(), s.end(), IsIdentChar);
}

// Where the run of identifier characters from `i` ends.
inline size_t SkipIdentChars(std::string_view text, size_t i)
{
    while (i < text.size() && IsIdentChar(text[i]))
        ++i;
    return i;
}

// A number starts at `i`: a digit, or '.' before a digit.
inline bool StartsNumber(std::string_view text, size_t i)
{
    return i < text.size() &&
           (IsDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])));
}

} // namespace gfx
