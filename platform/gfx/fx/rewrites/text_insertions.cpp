#include "platform/gfx/fx/rewrites/text_insertions.h"

#include <algorithm>
#include <string_view>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/window/close_check.h"

namespace gfx {

namespace {

bool OfAWord(char c)
{
    return IsIdentChar(c) || c == '.';
}

} // namespace

// Brackets, ';', ',', '?' and '~' join nothing.
bool RunTogether(char a, char b)
{
    const bool wordA = OfAWord(a), wordB = OfAWord(b);
    if (wordA || wordB)
        return wordA && wordB;
    const auto joins = [](char c) { return std::string_view("+-*/%<>=!&|^:").find(c) != std::string_view::npos; };
    return joins(a) && joins(b);
}

void InsertKeepingColumns(std::string& text, std::vector<TextInsertion> insertions)
{
    if (insertions.empty())
        return;
    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const TextInsertion& a, const TextInsertion& b) { return a.at < b.at; });
    // Strings and directives keep their blanks.
    std::vector<std::pair<size_t, size_t>> kept;
    for (const Token& t : Tokenize(text))
        if (t.kind == TokenKind::String || t.kind == TokenKind::Directive)
            kept.emplace_back(t.offset, t.offset + t.text.size());
    std::string out;
    size_t added = 0;
    for (const TextInsertion& insertion : insertions)
        added += insertion.text.size();
    out.reserve(text.size() + added);
    size_t next = 0, nextKept = 0;
    size_t owed = 0; // blanks still to take out of the line
    for (size_t k = 0; k <= text.size(); ++k) {
        for (; next < insertions.size() && insertions[next].at <= k; ++next) {
            out += insertions[next].text;
            owed += insertions[next].text.size();
        }
        if (k == text.size())
            break;
        const char c = text[k];
        while (nextKept < kept.size() && kept[nextKept].second <= k)
            ++nextKept;
        const bool inKept = nextKept < kept.size() && kept[nextKept].first <= k;
        if (c == '\n') {
            owed = 0;
        } else if (owed > 0 && IsBlank(c) && !inKept && !out.empty() &&
                   !(k + 1 < text.size() && RunTogether(out.back(), text[k + 1]))) {
            --owed;
            continue;
        }
        out += c;
    }
    platform::CountSteps(text.size());
    text = std::move(out);
}

} // namespace gfx
