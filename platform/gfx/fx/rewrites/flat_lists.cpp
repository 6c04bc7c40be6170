#include "platform/gfx/fx/rewrites/flat_lists.h"

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
        // `Type name[N] = {` or `Type name[] = {`, of a type of more than one
        // component; or of an array of arrays, `Type name[N][M] = {`.
        ValueShape element;
        if (tokens[i].kind != TokenKind::Identifier || !BuiltInShape(tokens[i].text, element) ||
            tokens[i + 1].kind != TokenKind::Identifier || !tokens[i + 2].Is('['))
            continue;
        size_t at = i + 2;
        std::vector<uint64_t> sizes; // 0 for the first unstated
        bool plain = true;
        while (plain && at + 1 < n && tokens[at].Is('[')) {
            const std::string_view digits = tokens[at + 1].text;
            if (tokens[at + 1].Is(']') && sizes.empty()) {
                sizes.push_back(0);
                at += 2;
            } else if (at + 2 < n && tokens[at + 1].kind == TokenKind::Number && digits.size() <= 5 &&
                       digits.find_first_not_of("0123456789") == std::string_view::npos && tokens[at + 2].Is(']')) {
                sizes.push_back(std::stoul(std::string(digits)));
                plain = sizes.back() != 0; // a size of 0 is refused, not rewritten
                at += 3;
            } else {
                plain = false;
            }
        }
        if (!plain || (element.ElementComponents() < 2 && sizes.size() < 2))
            continue;
        // The components of each level that a pair of braces holds, the outermost first.
        const uint64_t per = element.ElementComponents();
        std::vector<uint64_t> levels;
        uint64_t row = per;
        for (size_t k = sizes.size(); k-- > 1;) {
            row *= sizes[k];
            levels.insert(levels.begin(), row);
        }
        if (per > 1)
            levels.push_back(per);
        const uint64_t size = sizes[0] * (levels.empty() ? 1 : levels.front() / per);
        if (at + 1 >= n || !tokens[at].Is('=') || !tokens[at + 1].Is('{'))
            continue;
        const size_t open = at + 1;
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
        // Elements of a value each already: no braces of theirs.
        uint64_t filled = 0;
        for (uint64_t count : counts)
            filled += count;
        if (per > 1 && filled / per == items.size())
            levels.pop_back();
        if (levels.empty())
            continue;
        // Where the rows and elements begin and end: at items whose components fill them whole.
        std::vector<std::pair<size_t, char>> braces;
        const uint64_t smallest = levels.back();
        filled = 0;
        bool aligned = true;
        for (size_t k = 0; k < items.size() && aligned; ++k) {
            for (uint64_t level : levels)
                if (filled % level == 0)
                    braces.emplace_back(tokens[items[k].first].offset, '{');
            filled += counts[k];
            const Token& end = tokens[items[k].second - 1];
            for (size_t l = levels.size(); l-- > 0;)
                if (filled % levels[l] == 0)
                    braces.emplace_back(end.offset + end.text.size(), '}');
            if (filled % smallest != 0 && filled / smallest != (filled - counts[k]) / smallest)
                aligned = false; // an item spans two elements
        }
        if (!aligned || filled % levels.front() != 0 || (size != 0 && filled != size * per))
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
