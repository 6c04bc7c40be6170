#include "platform/gfx/fx/hlsl/flat_lists.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/expression/value.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

constexpr uint64_t kUnknown = ~uint64_t{0};

// The components of the item in tokens [first, last), when its text says:
// a number (with a sign), true or false, a constructor of a built-in type
// that is the whole item, or a cast of one to a number or a bracketed value.
uint64_t ItemComponents(const std::vector<Token>& tokens, const std::vector<size_t>& matches, size_t first,
                        size_t last)
{
    size_t i = first;
    while (i < last && (tokens[i].Is('-') || tokens[i].Is('+')))
        ++i;
    if (i + 1 == last && (tokens[i].kind == TokenKind::Number || tokens[i].Is("true") || tokens[i].Is("false")))
        return 1;
    ValueShape shape;
    if (i == first && tokens[i].kind == TokenKind::Identifier && BuiltInShape(tokens[i].text, shape) &&
        i + 1 < last && tokens[i + 1].Is('(') && matches[i + 1] + 1 == last)
        return shape.Components();
    if (tokens[i].Is('(') && i + 3 < last && tokens[i + 2].Is(')') && tokens[i + 1].kind == TokenKind::Identifier &&
        BuiltInShape(tokens[i + 1].text, shape)) {
        const size_t operand = i + 3;
        const bool whole = operand + 1 == last || (tokens[operand].Is('(') && matches[operand] + 1 == last);
        if (whole)
            return shape.Components();
    }
    return kUnknown;
}

} // namespace

void RewriteFlatLists(std::string& text)
{
    TokenProblem problem;
    const std::vector<Token> tokens = Tokenize(text, &problem);
    const std::vector<size_t> matches = BracketMatches(tokens);
    const size_t n = tokens.size();
    std::vector<std::pair<size_t, char>> inserts; // where a brace goes, before the character there
    for (size_t i = 0; i + 6 < n; ++i) {
        // `Type name[N] = {` or `Type name[] = {`, of a type of more than one component.
        ValueShape element;
        if (tokens[i].kind != TokenKind::Identifier || !BuiltInShape(tokens[i].text, element) ||
            element.ElementComponents() < 2 || tokens[i + 1].kind != TokenKind::Identifier || !tokens[i + 2].Is('['))
            continue;
        size_t at = i + 3;
        uint64_t size = 0;
        if (tokens[at].kind == TokenKind::Number) {
            const std::string_view digits = tokens[at].text;
            if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos)
                continue;
            size = std::stoul(std::string(digits));
            ++at;
        }
        if (at + 2 >= n || !tokens[at].Is(']') || !tokens[at + 1].Is('=') || !tokens[at + 2].Is('{'))
            continue;
        const size_t open = at + 2;
        const size_t close = matches[open];
        if (close >= n)
            continue;
        // The items at the list's own level; nothing to do where one is a list.
        std::vector<std::pair<size_t, size_t>> items;
        bool nested = false;
        for (size_t k = open + 1; k < close;) {
            const size_t first = k;
            while (k < close && !tokens[k].Is(',')) {
                nested = nested || (k == first && tokens[k].Is('{'));
                k = matches[k] < n && (tokens[k].Is('(') || tokens[k].Is('[') || tokens[k].Is('{')) ? matches[k] + 1
                                                                                                      : k + 1;
            }
            platform::CountSteps(k - first + 1);
            if (k > first)
                items.emplace_back(first, k);
            if (k < close)
                ++k;
        }
        i = close;
        const uint64_t per = element.ElementComponents();
        if (nested || items.empty())
            continue;
        std::vector<uint64_t> counts;
        bool known = true;
        for (const auto& [first, last] : items) {
            counts.push_back(ItemComponents(tokens, matches, first, last));
            known = known && counts.back() != kUnknown;
        }
        if (!known) {
            // As many items as components: each is one.
            if (size == 0 || items.size() != size * per)
                continue;
            counts.assign(items.size(), 1);
        }
        // Where the elements begin and end: at items whose components fill them whole.
        std::vector<std::pair<size_t, char>> braces;
        uint64_t filled = 0;
        bool aligned = true;
        for (size_t k = 0; k < items.size() && aligned; ++k) {
            if (filled % per == 0)
                braces.emplace_back(tokens[items[k].first].offset, '{');
            filled += counts[k];
            if (filled % per == 0) {
                const Token& end = tokens[items[k].second - 1];
                braces.emplace_back(end.offset + end.text.size(), '}');
            } else if (filled / per != (filled - counts[k]) / per) {
                aligned = false; // an item spans two elements
            }
        }
        if (!aligned || filled % per != 0 || (size != 0 && filled != size * per) || filled / per == items.size())
            continue;
        inserts.insert(inserts.end(), braces.begin(), braces.end());
    }
    if (inserts.empty())
        return;
    // One pass, a line at a time: the braces inserted, then as many blanks
    // taken out of the line where no two words meet across them.
    std::string out;
    out.reserve(text.size() + inserts.size());
    size_t next = 0;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        if (next == inserts.size() || inserts[next].first >= end) {
            out.append(text, begin, end - begin);
            begin = end;
            continue;
        }
        std::string line;
        for (size_t at = begin; at < end; ++at) {
            for (; next < inserts.size() && inserts[next].first == at; ++next)
                line.push_back(inserts[next].second);
            line.push_back(text[at]);
        }
        size_t excess = line.size() - (end - begin);
        const auto word = [](char c) { return IsIdentChar(c) || c == '.'; };
        for (size_t k = line.size(); k-- > 0 && excess > 0;) {
            if ((line[k] != ' ' && line[k] != '\t') || (k > 0 && k + 1 < line.size() && word(line[k - 1]) && word(line[k + 1])))
                continue;
            line.erase(k, 1);
            --excess;
        }
        out += line;
        begin = end;
    }
    platform::CountSteps(text.size());
    text = std::move(out);
}

} // namespace gfx
