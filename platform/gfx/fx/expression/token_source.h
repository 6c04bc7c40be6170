#pragma once
// What the expression reader reads: a source of tokens with one more ahead,
// and a source over a vector of tokens (a function's body).
#include <cstddef>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {

// What the expression reader reads: the current token, one more ahead, and
// the step past. Peek(0) at the end is a token of kind End.
class ExpressionTokens {
public:
    virtual ~ExpressionTokens() = default;
    virtual const Token& Peek(size_t ahead = 0) = 0;
    virtual Token Next() = 0;
};

// Tokens read from a vector (a function's body), an End token after them.
class TokenListReader : public ExpressionTokens {
public:
    explicit TokenListReader(std::vector<Token> tokens);
    const Token& Peek(size_t ahead = 0) override;
    Token Next() override;
    // Where the reader is, to come back to it (a loop's body read again).
    size_t Mark() const { return at_; }
    void Reset(size_t mark) { at_ = mark < tokens_.size() ? mark : tokens_.size() - 1; }

private:
    std::vector<Token> tokens_;
    size_t at_ = 0;
};

} // namespace gfx
