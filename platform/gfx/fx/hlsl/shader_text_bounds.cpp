#include "platform/gfx/fx/hlsl/shader_text_bounds.h"

#include <string_view>
#include <vector>

#include "platform/window/close_check.h"

namespace gfx {

namespace {

bool WordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// How deep a statement of `word` nests what it governs, as the compilers'
// stacks take it: a loop about four times as deep as a bracket, a branch
// twice; 0 for a word that is no such statement.
uint32_t StatementDepth(std::string_view word)
{
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
    };
    std::vector<Level> levels(1);
    std::string_view word; // the last word, while nothing but blanks followed it
    char last = 0;         // the last character that is no blank
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '/' && i + 1 < text.size() && (text[i + 1] == '/' || text[i + 1] == '*')) {
            const size_t end = text[i + 1] == '/' ? text.find('\n', i) : text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + (text[i + 1] == '/' ? 0 : 1);
            continue;
        }
        Level& level = levels.back();
        size_t end = i + 1;
        while (WordChar(c) && end < text.size() && WordChar(text[end]))
            ++end;
        const std::string_view token = text.substr(i, end - i);
        // A statement ended and the next begins: what governed it is done, but for an `else`.
        if (level.ended && c != '}' && token != "else")
            level.statements = 0;
        level.ended = false;
        if (WordChar(c)) {
            level.statements += StatementDepth(token);
            word = token;
            last = text[end - 1];
            i = end - 1;
        } else if (c == '"') {
            const size_t close = text.find_first_of("\"\n", i + 1);
            i = close == std::string_view::npos ? text.size() : close;
            last = c;
            word = {};
            continue;
        } else {
            switch (c) {
            case '(': case '[': case '{': {
                const bool arguments = c == '(' && WordChar(last) && OpensArguments(word);
                // A bracket of a value takes a compiler's stack twice a block's.
                levels.push_back({level.below + level.chain + level.statements + (c == '{' ? 1u : 2u), 0, 0,
                                  c == '{' || arguments, false});
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
                break;
            case ',':
                level.chain = level.list ? 0 : level.chain + 1;
                break;
            default:
                ++level.chain;
                break;
            }
            last = c;
            word = {};
        }
        const Level& now = levels.back();
        if (now.below + now.chain + now.statements > kMostShaderNesting)
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
