#include "platform/gfx/fx/syntax/function_head.h"

#include <algorithm>

namespace gfx {

namespace {

size_t Closing(const std::vector<Token>& tokens, size_t open, const std::vector<size_t>* matches)
{
    return matches ? (*matches)[open] : MatchingBracket(tokens, open);
}

} // namespace

FunctionParameter ReadVariable(const std::vector<Token>& tokens, size_t first, size_t last, uint8_t places,
                               const std::vector<size_t>* matches)
{
    FunctionParameter p;
    p.first = first;
    p.last = last;
    size_t i = first;
    for (; i < last && tokens[i].kind == TokenKind::Identifier; ++i) {
        const HlslModifier* m = FindHlslModifier(tokens[i].text);
        if (!m || !(m->places & places))
            break;
        if (m->direction != HlslDirection::Unsaid)
            p.direction = m->direction;
        p.uniform = p.uniform || m->uniform;
        p.flat = p.flat || m->flat;
    }
    p.typeBegin = i;
    p.typeEnd = TypeEnd(tokens, i, last);
    i = p.typeEnd;
    if (i < last && tokens[i].kind == TokenKind::Identifier)
        p.name = i++;
    if (i < last && tokens[i].Is('[')) {
        p.arrayOpen = i;
        p.arrayClose = std::min(Closing(tokens, i, matches), last);
        i = p.arrayClose + 1;
    }
    if (i + 1 < last && tokens[i].Is(':'))
        p.semantic = i + 1;
    while (i < last && !tokens[i].Is('='))
        ++i;
    if (i + 1 < last)
        p.defaultBegin = i + 1;
    return p;
}

size_t TypeEnd(const std::vector<Token>& tokens, size_t at, size_t last)
{
    if (at >= last)
        return last;
    size_t end = at + 1;
    if ((tokens[at].Is("vector") || tokens[at].Is("matrix")) && end < last && tokens[end].Is('<')) {
        while (end < last && !tokens[end].Is('>'))
            ++end;
        end = std::min(end + 1, last);
    }
    return end;
}

bool ReadFunctionHead(const std::vector<Token>& tokens, size_t first, FunctionHead& out,
                      const std::vector<size_t>* matches)
{
    out = FunctionHead();
    size_t i = first;
    while (i < tokens.size() && tokens[i].kind == TokenKind::Identifier &&
           IsHlslModifier(tokens[i].text, kModifiesFunction))
        ++i;
    out.typeBegin = i;
    out.typeEnd = TypeEnd(tokens, i, tokens.size());
    i = out.typeEnd;
    if (i + 1 >= tokens.size() || tokens[i].kind != TokenKind::Identifier || !tokens[i + 1].Is('('))
        return false;
    out.name = i;
    out.open = i + 1;
    out.close = Closing(tokens, out.open, matches);
    if (out.close >= tokens.size())
        return false;
    size_t start = out.open + 1;
    for (size_t k = out.open + 1; k <= out.close; ++k) {
        if (k < out.close && (tokens[k].Is('(') || tokens[k].Is('[') || tokens[k].Is('{'))) {
            k = std::min(Closing(tokens, k, matches), out.close - 1);
            continue;
        }
        if (tokens[k].Is(',') || k == out.close) {
            if (k > start)
                out.parameters.push_back(ReadVariable(tokens, start, k, kModifiesParameter, matches));
            start = k + 1;
        }
    }
    if (out.close + 2 < tokens.size() && tokens[out.close + 1].Is(':'))
        out.semantic = out.close + 2;
    return true;
}

} // namespace gfx
