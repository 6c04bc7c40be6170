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

// Whether a '(' after the word `word` opens a call's or a constructor's
// arguments, a list, rather than a value in brackets (where a comma is an
// operator) or a statement's condition.
bool OpensArguments(std::string_view word)
{
    for (std::string_view keyword : {"return", "else", "case", "if", "while", "for", "switch", "do"})
        if (word == keyword)
            return false;
    return !word.empty() && !(word[0] >= '0' && word[0] <= '9');
}

} // namespace

size_t PastShaderNesting(std::string_view text)
{
    platform::CountSteps(text.size());
    struct Level {
        uint32_t below = 0; // the depth of its opening
        uint32_t chain = 0; // operators in a row in it, and brackets closed in the chain
        bool list = true;   // a comma ends an item rather than chains
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
        if (c == '"') {
            const size_t end = text.find_first_of("\"\n", i + 1);
            i = end == std::string_view::npos ? text.size() : end;
            last = c;
            word = {};
            continue;
        }
        if (WordChar(c)) {
            size_t end = i;
            while (end < text.size() && WordChar(text[end]))
                ++end;
            word = text.substr(i, end - i);
            last = text[end - 1];
            i = end - 1;
            continue;
        }
        Level& level = levels.back();
        switch (c) {
        case '(': case '[': case '{': {
            const bool arguments = c == '(' && WordChar(last) && OpensArguments(word);
            levels.push_back({level.below + level.chain + 1, 0, c == '{' || arguments});
            break;
        }
        case ')': case ']': case '}':
            if (levels.size() > 1)
                levels.pop_back();
            // A block ends its statement; a value in brackets goes on in its chain.
            levels.back().chain = c == '}' ? 0 : levels.back().chain + 1;
            break;
        case ';':
            level.chain = 0;
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
        const Level& now = levels.back();
        if (now.below + now.chain > kMostShaderNesting)
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
