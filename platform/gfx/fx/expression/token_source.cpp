#include "platform/gfx/fx/expression/token_source.h"

#include <algorithm>

namespace gfx {

TokenListReader::TokenListReader(std::vector<Token> tokens) : tokens_(std::move(tokens))
{
    Token end;
    if (!tokens_.empty()) {
        end = tokens_.back();
        end.text = std::string_view();
        end.column += 1;
    }
    end.kind = TokenKind::End;
    tokens_.push_back(end);
}

const Token& TokenListReader::Peek(size_t ahead)
{
    return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
}

Token TokenListReader::Next()
{
    const Token t = tokens_[at_];
    if (at_ + 1 < tokens_.size())
        ++at_;
    return t;
}

} // namespace gfx
