#include "platform/gfx/fx/hlsl/shader_text_bounds.h"

#include <array>
#include <string_view>
#include <vector>

#include "platform/window/close_check.h"

namespace gfx {

namespace {

enum CharKind : uint8_t { kOther, kBlank, kWord };

// Each byte's kind, looked up rather than worked out: a text is read once a byte.
const std::array<uint8_t, 256>& CharKinds()
{
    static const auto kinds = [] {
        std::array<uint8_t, 256> kind{};
        for (int k = 0; k < 256; ++k)
            kind[size_t(k)] = (k >= 'a' && k <= 'z') || (k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9') || k == '_'
                                  ? kWord
                              : k == ' ' || k == '\t' || k == '\r' || k == '\n' ? kBlank
                                                                                 : kOther;
        return kind;
    }();
    return kinds;
}

// How deep a statement of `word` nests what it governs, as the compilers'
// stacks take it: a loop about four times as deep as a bracket, a branch
// twice; 0 for a word that is no such statement.
uint32_t StatementDepth(std::string_view word)
{
    if (word.size() < 2 || word.size() > 6)
        return 0;
    if (word == "for" || word == "while" || word == "do" || word == "switch")
        return 8;
    return word == "if" || word == "else" ? 4 : 0;
}

// Whether a '(' after the word `word` opens a call's or a constructor's
// arguments, a list, rather than a value in brackets (where a comma is an
// operator) or a statement's condition.
bool OpensArguments(std::string_view word)
{
    return !word.empty() && !(word[0] >= '0' && word[0] <= '9') && word != "return" && word != "case" &&
           StatementDepth(word) == 0;
}

} // namespace

size_t PastShaderNesting(std::string_view text)
{
    platform::CountSteps(text.size());
    struct Level {
        uint32_t below = 0;      // the depth of its opening
        uint32_t chain = 0;      // operators in a row in it, and brackets closed in the chain
        uint32_t statements = 0; // the depth of the statements that govern the one under way
        bool list = true;        // a comma ends an item rather than chains
        bool ended = false;      // a statement ended: an `else` may go on from it
        uint32_t Depth() const { return below + chain + statements; }
    };
    const std::array<uint8_t, 256>& kinds = CharKinds();
    std::vector<Level> levels(1);
    std::string_view word; // the last token when it is a word
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        const uint8_t kind = kinds[static_cast<unsigned char>(c)];
        if (kind == kBlank)
            continue;
        Level& level = levels.back();
        if (kind == kWord) {
            size_t end = i + 1;
            while (end < n && kinds[static_cast<unsigned char>(text[end])] == kWord)
                ++end;
            word = text.substr(i, end - i);
            i = end - 1;
            // A statement ended and the next begins: what governed it is done, but for an `else`.
            if (level.ended && word != "else")
                level.statements = 0;
            level.ended = false;
            if (const uint32_t depth = StatementDepth(word); depth != 0) {
                level.statements += depth;
                if (level.Depth() > kMostShaderNesting)
                    return i;
            }
            continue;
        }
        if (c == '/' && i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '*')) {
            const size_t end = text[i + 1] == '/' ? text.find('\n', i) : text.find("*/", i + 2);
            i = end == std::string_view::npos ? n : end + (text[i + 1] == '/' ? 0 : 1);
            continue;
        }
        if (level.ended && c != '}')
            level.statements = 0;
        level.ended = false;
        const std::string_view before = word;
        word = {};
        switch (c) {
        case '"': {
            const size_t close = text.find_first_of("\"\n", i + 1);
            i = close == std::string_view::npos ? n : close;
            continue;
        }
        case '(': case '[': case '{': {
            const bool arguments = c == '(' && OpensArguments(before);
            // A bracket of a value takes a compiler's stack twice a block's.
            levels.push_back({level.Depth() + (c == '{' ? 1u : 2u), 0, 0, c == '{' || arguments, false});
            break;
        }
        case ')': case ']': case '}':
            if (levels.size() > 1)
                levels.pop_back();
            // A block ends its statement; a value in brackets goes on in its chain.
            levels.back().chain = c == '}' ? 0 : levels.back().chain + 1;
            levels.back().ended = c == '}';
            break;
        case ';':
            level.chain = 0;
            level.ended = true;
            continue;
        case ',':
            level.chain = level.list ? 0 : level.chain + 1;
            break;
        default:
            ++level.chain;
            break;
        }
        if (levels.back().Depth() > kMostShaderNesting)
            return i;
    }
    return std::string_view::npos;
}

std::string DrawnStageTextProblem(std::string_view text)
{
    if (text.size() > kMostDrawnStageBytes)
        return "comes to " + std::to_string(text.size()) + " bytes, over the bound of " +
               std::to_string(kMostDrawnStageBytes) + " the drawing takes";
    if (PastShaderNesting(text) != std::string_view::npos)
        return "nests deeper than " + std::to_string(kMostShaderNesting) + ", more than the drawing takes";
    return "";
}

} // namespace gfx
