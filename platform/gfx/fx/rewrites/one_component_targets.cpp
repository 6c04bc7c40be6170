#include "platform/gfx/fx/rewrites/one_component_targets.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

constexpr std::string_view kBases[] = {"float", "half", "double", "int", "uint", "bool", "dword", "min16float",
                                       "min10float", "min16int", "min12int", "min16uint"};
constexpr size_t kLongestBase = 10;

bool IsOneComponent(std::string_view type)
{
    return type.size() > 1 && type.back() == '1' &&
           std::find(std::begin(kBases), std::end(kBases), type.substr(0, type.size() - 1)) != std::end(kBases);
}

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Whether `text` names a one-component type at all: most effects do not,
// and are not read as tokens for it. Each '1' after a letter is looked at
// over the few characters a type's name takes.
bool MayHaveOneComponent(std::string_view text)
{
    for (size_t at = text.find('1'); at != std::string_view::npos; at = text.find('1', at + 1)) {
        if (at == 0 || !std::isalpha(static_cast<unsigned char>(text[at - 1])) ||
            (at + 1 < text.size() && IsNameChar(text[at + 1])))
            continue;
        size_t begin = at;
        while (begin > 0 && at - begin < kLongestBase && IsNameChar(text[begin - 1]))
            --begin;
        for (size_t from = begin; from < at; ++from)
            if (IsOneComponent(text.substr(from, at + 1 - from)) && (from == 0 || !IsNameChar(text[from - 1])))
                return true;
    }
    return false;
}

bool Adjacent(const Token& a, const Token& b)
{
    return b.offset == a.offset + a.text.size();
}

// Whether the swizzle at tokens[i] (after its '.') is the target of an
// assignment, of a compound one, or of `++` or `--` after it or before the
// chain of names it ends (`++o.fog.x`).
bool WrittenAt(const std::vector<Token>& tokens, size_t i)
{
    const size_t n = tokens.size();
    const auto symbols = [&](size_t k, char a, char b) {
        return k + 1 < n && tokens[k].Is(a) && tokens[k + 1].Is(b) && Adjacent(tokens[k], tokens[k + 1]);
    };
    if (i + 1 < n && tokens[i + 1].Is('=') && !symbols(i + 1, '=', '='))
        return true;
    for (char op : std::string_view("+-*/%&|^"))
        if (symbols(i + 1, op, '='))
            return true;
    if (symbols(i + 1, '+', '+') || symbols(i + 1, '-', '-'))
        return true;
    // A few members deep, as a target is written: the chain is not walked again for each swizzle of it.
    size_t first = i;
    for (int members = 0; members < 8 && first >= 2 && tokens[first - 1].Is('.') &&
                          tokens[first - 2].kind == TokenKind::Identifier;
         ++members)
        first -= 2;
    return first >= 2 && (symbols(first - 2, '+', '+') || symbols(first - 2, '-', '-'));
}

} // namespace

void RewriteOneComponentTargets(std::string& text)
{
    if (!MayHaveOneComponent(text))
        return;
    TokenProblem problem;
    const std::vector<Token> tokens = Tokenize(text, &problem);
    // The names written through `.x` or `.r`: `fog` of `o.fog.x = ...`.
    std::unordered_set<std::string_view> written;
    for (size_t i = 2; i < tokens.size(); ++i) {
        platform::CountSteps(1);
        if ((tokens[i].Is("x") || tokens[i].Is("r")) && tokens[i - 1].Is('.') &&
            tokens[i - 2].kind == TokenKind::Identifier && WrittenAt(tokens, i))
            written.insert(tokens[i - 2].text);
    }
    if (written.empty())
        return;
    // Their declarations: a one-component type before the name. Only the
    // type's last character changes, so the names the set views stay as they are.
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        platform::CountSteps(1);
        if (tokens[i].kind == TokenKind::Identifier && IsOneComponent(tokens[i].text) &&
            tokens[i + 1].kind == TokenKind::Identifier && written.count(tokens[i + 1].text) != 0 &&
            !(i > 0 && tokens[i - 1].Is('.')))
            text[tokens[i].offset + tokens[i].text.size() - 1] = ' ';
    }
}

} // namespace gfx
