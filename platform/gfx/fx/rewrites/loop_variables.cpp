#include "platform/gfx/fx/rewrites/loop_variables.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/gfx/fx/rewrites/text_insertions.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

constexpr size_t kNone = ~size_t{0};

bool Opens(const Token& t)
{
    return t.Is('(') || t.Is('[') || t.Is('{');
}

class LoopReader {
public:
    explicit LoopReader(std::string_view text)
        : tokens_(Tokenize(text, &problem_)), matches_(BracketMatches(tokens_)), openers_(tokens_.size(), kNone)
    {
        for (size_t i = 0; i < tokens_.size(); ++i) {
            if (matches_[i] < tokens_.size())
                openers_[matches_[i]] = i;
            if (MayNameDeclaration(tokens_, i))
                named_[tokens_[i].text].push_back(i);
        }
    }

    void Run(std::string& text, std::vector<RedeclaredLoopVariable>& redeclared)
    {
        std::vector<TextInsertion> insertions;
        for (size_t k = 0; k < tokens_.size() && !problem_.closing; ++k) {
            platform::CountSteps(1);
            if (tokens_[k].Is('{'))
                blocks_.push_back({k, {}});
            else if (tokens_[k].Is('}') && !blocks_.empty())
                blocks_.pop_back();
            else if (tokens_[k].Is("for") && !blocks_.empty())
                Loop(k, insertions, redeclared);
        }
        // The types moved out of the loops blank, once the tokens are read no more.
        for (const Token* type : moved_)
            text.replace(type->offset, type->text.size(), type->text.size(), ' ');
        InsertKeepingColumns(text, std::move(insertions));
    }

private:
    struct Block {
        size_t open = 0;
        std::unordered_set<std::string_view> loops; // the names its loops declared
    };

    // Where the bracket that `at` opens closes, or kNone past `limit`.
    size_t Close(size_t at, size_t limit) const { return matches_[at] < limit ? matches_[at] : kNone; }

    // Where the statement at `k` starts, its attributes first, when it stands
    // in a block of its own (not the branch of an `if` or the body of a
    // loop); else kNone.
    size_t StatementStart(size_t k) const
    {
        size_t first = k;
        while (first > 0 && tokens_[first - 1].Is(']') && openers_[first - 1] != kNone)
            first = openers_[first - 1];
        size_t before = first; // past the line markers of included files
        while (before > 0 && tokens_[before - 1].kind == TokenKind::Directive)
            --before;
        const bool own = before > 0 && (tokens_[before - 1].Is('{') || tokens_[before - 1].Is('}') ||
                                        tokens_[before - 1].Is(';'));
        return own ? first : kNone;
    }

    // Whether the block opened at `open` is the body of a `switch`, whose labels stay at its level.
    bool IsSwitchBody(size_t open) const
    {
        return open > 0 && tokens_[open - 1].Is(')') && openers_[open - 1] != kNone && openers_[open - 1] > 0 &&
               tokens_[openers_[open - 1] - 1].Is("switch");
    }

    // The last token of the statement that starts at `k`, or kNone where it
    // does not end before `limit`.
    size_t StatementEnd(size_t k, size_t limit) const
    {
        std::vector<bool> heads; // around it, inmost last: an `if` (true) or a `do` (false)
        for (;;) {
            while (k < limit) {
                const Token& t = tokens_[k];
                if (t.Is('[') && Close(k, limit) != kNone) {
                    k = Close(k, limit) + 1; // an attribute
                } else if (t.Is("if") || t.Is("for") || t.Is("while") || t.Is("switch")) {
                    if (k + 1 >= limit || !tokens_[k + 1].Is('(') || Close(k + 1, limit) == kNone)
                        return kNone;
                    if (t.Is("if"))
                        heads.push_back(true);
                    k = Close(k + 1, limit) + 1;
                } else if (t.Is("do")) {
                    heads.push_back(false);
                    ++k;
                } else {
                    break;
                }
            }
            if (k >= limit)
                return kNone;
            size_t end = k;
            if (tokens_[k].Is('{')) {
                end = Close(k, limit);
            } else {
                while (end < limit && !tokens_[end].Is(';')) {
                    if (tokens_[end].Is(')') || tokens_[end].Is(']') || tokens_[end].Is('}'))
                        return kNone;
                    end = Opens(tokens_[end]) ? Close(end, limit) : end;
                    if (end == kNone)
                        return kNone;
                    ++end;
                }
            }
            if (end >= limit)
                return kNone;
            bool otherwise = false;
            while (!heads.empty() && !otherwise) {
                const bool isIf = heads.back();
                heads.pop_back();
                if (isIf) {
                    otherwise = end + 1 < limit && tokens_[end + 1].Is("else");
                    k = end + 2;
                    continue;
                }
                // do ... while (...);
                if (end + 2 >= limit || !tokens_[end + 1].Is("while") || !tokens_[end + 2].Is('(') ||
                    Close(end + 2, limit) == kNone || Close(end + 2, limit) + 1 >= limit ||
                    !tokens_[Close(end + 2, limit) + 1].Is(';'))
                    return kNone;
                end = Close(end + 2, limit) + 1;
            }
            if (!otherwise)
                return end;
        }
    }

    // Whether `name` is named after token `after`, before `before`.
    bool NamedBetween(std::string_view name, size_t after, size_t before) const
    {
        const std::vector<size_t>& places = named_.at(name);
        const auto next = std::upper_bound(places.begin(), places.end(), after);
        return next != places.end() && *next < before;
    }

    // The `for` at `k`: its variables noted in its block, and the loop
    // rewritten where one is named after it.
    void Loop(size_t k, std::vector<TextInsertion>& insertions, std::vector<RedeclaredLoopVariable>& redeclared)
    {
        Block& block = blocks_.back();
        const size_t blockEnd = matches_[block.open];
        const size_t start = StatementStart(k);
        if (blockEnd >= tokens_.size() || start == kNone || k + 3 >= blockEnd || !tokens_[k + 1].Is('('))
            return;
        const size_t headEnd = Close(k + 1, blockEnd);
        size_t type = k + 2;
        const bool constant = tokens_[type].Is("const");
        type += constant ? 1 : 0;
        if (headEnd == kNone || tokens_[type].kind != TokenKind::Identifier ||
            tokens_[type + 1].kind != TokenKind::Identifier)
            return;
        // Its declarators, up to the ';' of its first part.
        std::vector<size_t> names;
        size_t at = type + 1;
        for (;;) {
            if (tokens_[at].kind != TokenKind::Identifier || tokens_[at + 1].Is('['))
                return;
            names.push_back(at);
            while (at < headEnd && !tokens_[at].Is(',') && !tokens_[at].Is(';')) {
                if (Opens(tokens_[at]) && Close(at, headEnd) == kNone)
                    return;
                at = Opens(tokens_[at]) ? Close(at, headEnd) + 1 : at + 1;
            }
            if (at >= headEnd)
                return;
            if (tokens_[at].Is(';'))
                break;
            ++at;
        }
        const size_t end = StatementEnd(headEnd + 1, blockEnd);
        if (end == kNone)
            return;
        bool namedAfter = false;
        for (size_t name : names) {
            const std::string_view n = tokens_[name].text;
            if (!block.loops.insert(n).second)
                redeclared.push_back({tokens_[name].line, tokens_[name].column, std::string(n)});
            namedAfter = namedAfter || NamedBetween(n, end, blockEnd);
        }
        if (!namedAfter || IsSwitchBody(block.open))
            return;
        std::string declaration = "{" + std::string(tokens_[type].text) + " ";
        for (size_t n = 0; n < names.size(); ++n)
            declaration += (n ? ", " : "") + std::string(tokens_[names[n]].text);
        insertions.push_back({tokens_[start].offset, declaration + ";"});
        insertions.push_back({tokens_[blockEnd].offset, "}"});
        for (size_t blank = k + 2; blank <= type; ++blank)
            moved_.push_back(&tokens_[blank]);
    }

    TokenProblem problem_;
    std::vector<Token> tokens_;
    std::vector<size_t> matches_;
    std::vector<size_t> openers_; // by closing bracket: the one it closes
    std::unordered_map<std::string_view, std::vector<size_t>> named_;
    std::vector<Block> blocks_;
    std::vector<const Token*> moved_; // the types (and `const`) of loops rewritten
};

} // namespace

std::vector<RedeclaredLoopVariable> RewriteLoopVariables(std::string& text)
{
    std::vector<RedeclaredLoopVariable> redeclared;
    if (text.find("for") == std::string::npos)
        return redeclared;
    LoopReader(text).Run(text, redeclared);
    return redeclared;
}

} // namespace gfx
