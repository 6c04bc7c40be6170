#include "platform/gfx/fx/rewrites/literal_swizzles.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gfx/fx/rewrites/text_insertions.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {

void RewriteLiteralSwizzles(std::string& text)
{
    // Looked for before the text is read as tokens: a digit right before a '.' and a letter.
    bool any = false;
    for (size_t k = 1; k + 1 < text.size() && !any; ++k)
        any = text[k] == '.' && IsDigit(text[k - 1]) && IsIdentStart(text[k + 1]);
    if (!any)
        return;
    const std::vector<Token> tokens = Tokenize(text);
    std::vector<TextInsertion> blanks;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& number = tokens[i];
        const size_t end = number.offset + number.text.size();
        if (number.kind == TokenKind::Number && tokens[i + 1].Is('.') && tokens[i + 1].offset == end &&
            number.text.find('.') == std::string_view::npos)
            blanks.push_back({end, " "});
    }
    InsertKeepingColumns(text, std::move(blanks));
}

} // namespace gfx

namespace gfx {

void RewriteExponents(std::string& text)
{
    bool any = false;
    for (size_t k = 1; k + 1 < text.size() && !any; ++k)
        any = (text[k] == 'e' || text[k] == 'E') && text[k + 1] == '-' && IsDigit(text[k - 1]);
    if (!any)
        return;
    for (const Token& number : Tokenize(text)) {
        const std::string_view t = number.text;
        if (number.kind != TokenKind::Number || (t.size() > 1 && (t[1] == 'x' || t[1] == 'X')))
            continue;
        // Whole digits, a '.' and decimals, 'e-' and the exponent's digits, a suffix.
        const size_t dot = std::min(t.find('.'), t.find_first_of("eE"));
        const size_t e = t.find_first_of("eE");
        if (e == std::string_view::npos || e + 2 >= t.size() || t[e + 1] != '-' || !IsDigit(t[e + 2]))
            continue;
        if (t.find_first_of("123456789", dot) < e)
            continue; // a decimal that is not zero: read right
        size_t suffix = e + 2;
        uint64_t exponent = 0;
        for (; suffix < t.size() && IsDigit(t[suffix]); ++suffix)
            exponent = std::min<uint64_t>(exponent * 10 + uint64_t(t[suffix] - '0'), 1000);
        const std::string_view whole = t.substr(0, dot);
        const size_t zeros = whole.size() - std::min(whole.size(), whole.find_last_not_of('0') + 1);
        if (exponent == 0 || whole.find_first_not_of('0') == std::string_view::npos || zeros <= exponent)
            continue;
        std::string written(whole.substr(0, whole.size() - exponent));
        written += '.';
        written.append(suffix - written.size(), '0');
        written += t.substr(suffix);
        text.replace(number.offset, t.size(), written);
    }
}

} // namespace gfx
