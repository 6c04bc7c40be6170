#pragma once
// A plain tokenizer for HLSL text, enough to find declarations, brackets and
// signatures: identifiers, numbers, strings, single-character symbols and
// preprocessor lines; comments and blanks are skipped. Each token keeps its
// place in the text, so a caller can cut or blank the text around it.
#include <cstddef>
#include <string_view>
#include <vector>

namespace gfx {

enum class HlslTokenKind { Identifier, Number, String, Symbol, Directive };

struct HlslToken {
    HlslTokenKind kind = HlslTokenKind::Symbol;
    size_t offset = 0;
    std::string_view text;

    bool Is(char symbol) const { return kind == HlslTokenKind::Symbol && text[0] == symbol; }
    bool Is(std::string_view word) const { return kind == HlslTokenKind::Identifier && text == word; }
};

std::vector<HlslToken> TokenizeHlsl(std::string_view text);

// The index of the token that closes the bracket opened at `open` ('(' '[' '{'),
// or tokens.size() when it is never closed.
size_t MatchingBracket(const std::vector<HlslToken>& tokens, size_t open);

} // namespace gfx
