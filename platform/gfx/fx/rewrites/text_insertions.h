#pragma once
// Text that a rewrite puts into the shader text, what follows it on its line
// kept in its column where the line allows: for each character put in, a
// blank after it on its line is taken out, the nearest first. No blank inside
// a string or a directive is taken, nor one whose going would let two
// characters run together into another token (two of a name or number, or
// two symbols that join, as "- -" or "/ *"); where the line has too few,
// what follows moves right. Lines stay where they were, so the messages
// about them do too.
#include <cstddef>
#include <string>
#include <vector>

namespace gfx {

struct TextInsertion {
    size_t at = 0; // put before the character at this offset of the text as it was
    std::string text;
};

// Puts `insertions` into `text`, those at one place in the order given.
void InsertKeepingColumns(std::string& text, std::vector<TextInsertion> insertions);

// Whether `a` and `b` side by side may read as one token where a blank kept
// them apart.
bool RunTogether(char a, char b);

} // namespace gfx
