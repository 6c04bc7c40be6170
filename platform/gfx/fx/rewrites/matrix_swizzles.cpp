#include "platform/gfx/fx/rewrites/matrix_swizzles.h"

#include <string_view>
#include <vector>

#include "platform/gfx/fx/rewrites/text_insertions.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {
namespace {

// The longest matrix expression written out again for each element of a
// swizzle across rows: longer ones are left as written.
constexpr size_t kLongestRepeated = 256;

struct Element {
    int row = 0;
    int column = 0;
};

// The elements a swizzle names, `_11_22` (from one) or `_m00_m11` (from
// zero); none when `name` is not such a swizzle.
std::vector<Element> ElementsOf(std::string_view name)
{
    std::vector<Element> elements;
    const bool zeroBased = name.size() > 1 && name[1] == 'm';
    const size_t step = zeroBased ? 4 : 3;
    if (name.size() % step != 0 || name.size() / step > 4)
        return {};
    for (size_t at = 0; at < name.size(); at += step) {
        if (name[at] != '_' || (zeroBased && name[at + 1] != 'm'))
            return {};
        const int base = zeroBased ? 0 : 1;
        const int row = name[at + step - 2] - '0' - base;
        const int column = name[at + step - 1] - '0' - base;
        if (row < 0 || row > 3 || column < 0 || column > 3)
            return {};
        elements.push_back({row, column});
    }
    return elements;
}

// Whether the text may hold such a swizzle at all: most effects do not, and
// are not read as tokens for it.
bool MayHaveMatrixSwizzle(std::string_view text)
{
    for (size_t at = text.find("._"); at != std::string_view::npos; at = text.find("._", at + 1)) {
        const size_t digit = at + 2 < text.size() && text[at + 2] == 'm' ? at + 3 : at + 2;
        if (digit + 1 < text.size() && IsDigit(text[digit]) && IsDigit(text[digit + 1]))
            return true;
    }
    return false;
}

// For each bracket token, the index of its partner; npos where it has none.
std::vector<size_t> Partners(const std::vector<Token>& tokens)
{
    std::vector<size_t> partner(tokens.size(), std::string_view::npos);
    std::vector<size_t> open;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].Is('(') || tokens[i].Is('[')) {
            open.push_back(i);
        } else if ((tokens[i].Is(')') || tokens[i].Is(']')) && !open.empty()) {
            const char wanted = tokens[i].Is(')') ? '(' : '[';
            if (tokens[open.back()].Is(wanted)) {
                partner[i] = open.back();
                partner[open.back()] = i;
            }
            open.pop_back();
        }
    }
    return partner;
}

// The first token of the expression whose member is read at the '.' at
// `dot`: names, calls, indexing and members back to where it starts; npos
// when it cannot be told.
size_t ExpressionStart(const std::vector<Token>& tokens, const std::vector<size_t>& partner, size_t dot)
{
    size_t k = dot;
    while (k > 0) {
        const Token& last = tokens[k - 1];
        if (last.Is(']')) {
            if (partner[k - 1] == std::string_view::npos)
                return std::string_view::npos;
            k = partner[k - 1];
            continue; // what it indexes
        }
        if (last.Is(')')) {
            if (partner[k - 1] == std::string_view::npos)
                return std::string_view::npos;
            k = partner[k - 1];
            const bool call = k > 0 && tokens[k - 1].kind == TokenKind::Identifier && !tokens[k - 1].Is("return") &&
                              !tokens[k - 1].Is("else") && !tokens[k - 1].Is("case");
            if (call)
                --k;
        } else if (last.kind == TokenKind::Identifier) {
            --k;
        } else {
            return std::string_view::npos;
        }
        if (k < 2 || !tokens[k - 1].Is('.'))
            break;
        --k; // a member of what stands before the '.'
    }
    return k < dot ? k : std::string_view::npos;
}

} // namespace

void RewriteMatrixSwizzles(std::string& text)
{
    if (!MayHaveMatrixSwizzle(text))
        return;
    const std::string original = text;
    const std::vector<Token> tokens = Tokenize(original);
    const std::vector<size_t> partner = Partners(tokens);
    std::vector<TextInsertion> insertions;
    static const char kComponents[] = "xyzw";
    for (size_t i = 1; i + 1 < tokens.size(); ++i) {
        const Token& name = tokens[i + 1];
        if (!tokens[i].Is('.') || name.kind != TokenKind::Identifier || name.offset != tokens[i].offset + 1)
            continue;
        const std::vector<Element> elements = ElementsOf(name.text);
        if (elements.size() < 2)
            continue;
        bool oneRow = true;
        for (const Element& e : elements)
            oneRow = oneRow && e.row == elements.front().row;
        const size_t from = tokens[i].offset;
        const size_t length = name.text.size() + 1;
        if (oneRow) {
            std::string row = "[" + std::to_string(elements.front().row) + "].";
            for (const Element& e : elements)
                row += kComponents[e.column];
            text.replace(from, length, row + std::string(length - row.size(), ' '));
            continue;
        }
        const size_t start = ExpressionStart(tokens, partner, i);
        if (start == std::string_view::npos || from - tokens[start].offset > kLongestRepeated)
            continue;
        const std::string_view matrix = std::string_view(original).substr(tokens[start].offset, from - tokens[start].offset);
        const size_t each = name.text.size() / elements.size();
        // The first element stays where the swizzle stood; the rest follow it.
        text.replace(from, length, "." + std::string(name.text.substr(0, each)) + std::string(length - 1 - each, ' '));
        std::string rest;
        for (size_t e = 1; e < elements.size(); ++e)
            rest += ", " + std::string(matrix) + "." + std::string(name.text.substr(e * each, each));
        insertions.push_back({tokens[start].offset, "float" + std::to_string(elements.size()) + "("});
        insertions.push_back({from + length, rest + ")"});
    }
    InsertKeepingColumns(text, std::move(insertions));
}

} // namespace gfx
