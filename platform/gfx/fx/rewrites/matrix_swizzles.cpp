#include "platform/gfx/fx/rewrites/matrix_swizzles.h"

#include <string_view>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/matrix_swizzle.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

// Whether the text may write such a swizzle at all: most effects name none,
// and are not read as tokens for it.
bool MayHaveMatrixSwizzle(std::string_view text)
{
    for (size_t at = text.find('_'); at != std::string_view::npos; at = text.find('_', at + 1)) {
        const size_t digit = at + 1 < text.size() && text[at + 1] == 'm' ? at + 2 : at + 1;
        if (digit + 1 < text.size() && IsDigit(text[digit]) && IsDigit(text[digit + 1]) &&
            (at == 0 || !IsIdentChar(text[at - 1])))
            return true;
    }
    return false;
}

bool Adjacent(const Token& a, const Token& b)
{
    return b.offset == a.offset + a.text.size();
}

// The assignment operator that starts at tokens[k], as written, or "".
std::string_view AssignmentAt(const std::vector<Token>& tokens, size_t k)
{
    const size_t n = tokens.size();
    const auto run = [&](size_t count) {
        for (size_t j = k + 1; j < k + count; ++j)
            if (j >= n || !Adjacent(tokens[j - 1], tokens[j]))
                return false;
        return true;
    };
    if (k >= n || tokens[k].kind != TokenKind::Symbol)
        return {};
    const std::string_view from(tokens[k].text.data(), tokens[k].text.size());
    if (tokens[k].Is('='))
        return k + 1 < n && tokens[k + 1].Is('=') && run(2) ? std::string_view() : from;
    if (std::string_view("+-*/%&|^").find(from[0]) != std::string_view::npos && run(2) && tokens[k + 1].Is('='))
        return {from.data(), 2};
    if ((tokens[k].Is('<') || tokens[k].Is('>')) && run(3) && tokens[k + 1].text[0] == from[0] && tokens[k + 2].Is('='))
        return {from.data(), 3};
    return {};
}

} // namespace

std::vector<SwizzleWrite> RewriteMatrixSwizzleWrites(std::string& text)
{
    std::vector<SwizzleWrite> writes;
    if (!MayHaveMatrixSwizzle(text))
        return writes;
    TokenProblem problem;
    const std::vector<Token> tokens = Tokenize(text, &problem);
    platform::CountSteps(tokens.size());
    for (size_t i = 1; i + 1 < tokens.size(); ++i) {
        const Token& name = tokens[i];
        if (name.kind != TokenKind::Identifier || !tokens[i - 1].Is('.'))
            continue;
        const MatrixSwizzle swizzle = ReadMatrixSwizzle(name.text);
        if (swizzle.elements.size() < 2 && !swizzle.mixed)
            continue;
        const std::string_view op = AssignmentAt(tokens, i + 1);
        if (op.empty())
            continue;
        const Token& at = tokens[i + 1];
        writes.push_back({at.line, at.column, std::string(op), std::string(name.text), name.line, name.column});
        // In place, of the same length: the tokens' views of the text hold.
        if (op.size() > 1)
            text.replace(at.offset, op.size(), "=" + std::string(op.size() - 1, ' '));
    }
    return writes;
}

} // namespace gfx
