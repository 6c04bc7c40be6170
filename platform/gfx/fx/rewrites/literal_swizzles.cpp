#include "platform/gfx/fx/rewrites/literal_swizzles.h"

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
