#include "platform/gfx/fx/rewrites/constructor_targets.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/rewrites/text_insertions.h"
#include "platform/gfx/fx/syntax/constructor_target.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

// A constructor within a target is marked by a comment of one letter in
// the place of its name and '(': "/*x*/" (as long as "int2(", the shortest),
// the letter its size and count of variables (at most kMostMarked).
constexpr uint32_t kMostMarked = 5;
constexpr size_t kMarkLength = 5;

char MarkLetter(uint32_t size, uint32_t count)
{
    return static_cast<char>('a' + (size - 2) * kMostMarked + std::min(count, kMostMarked) - 1);
}

// Marks the constructors within the target whose arguments run from token
// `first` to its ')' at `close`: each name and '(' become the mark and
// blanks, each ')' a blank, so that its variables are the helper's in place.
void MarkNested(std::string& text, const std::vector<Token>& tokens, const std::vector<size_t>& matches,
                size_t first, size_t close)
{
    struct Open {
        size_t name, close;
        uint32_t size, firstVariable;
    };
    std::vector<Open> open;
    uint32_t variables = 0;
    bool start = true; // at the start of an argument
    for (size_t k = first; k < close; platform::CountSteps(1)) {
        uint32_t size = 0;
        if (!open.empty() && k == open.back().close) {
            const Open o = open.back();
            open.pop_back();
            std::string mark = "/* */";
            mark[2] = MarkLetter(o.size, variables + 1 - o.firstVariable);
            text.replace(tokens[o.name].offset, kMarkLength, mark);
            text[tokens[o.close].offset] = ' ';
            ++k;
            start = false;
        } else if (start && NestedTarget(tokens[k], tokens[k + 1], size) && matches[k + 1] < close &&
                   matches[k + 1] > k + 2 && (tokens[matches[k + 1] + 1].Is(',') || tokens[matches[k + 1] + 1].Is(')'))) {
            // A whole argument. On one line, its name and '(' are at least as long as the mark.
            open.push_back({k, matches[k + 1], size, variables});
            std::fill(text.begin() + static_cast<std::ptrdiff_t>(tokens[k].offset),
                      text.begin() + static_cast<std::ptrdiff_t>(tokens[k + 1].offset + 1), ' ');
            k += 2;
        } else {
            start = tokens[k].Is(',');
            variables += start ? 1 : 0;
            k = tokens[k].Is('(') || tokens[k].Is('[') || tokens[k].Is('{') ? matches[k] + 1 : k + 1;
        }
    }
}

// The helper's name: as many letters as the type's, "zl", the base's first
// letter and the size, then '_'.
std::string HelperName(std::string_view type, std::string_view base, uint32_t size)
{
    std::string name = "zl" + std::string(1, base[0]) + std::to_string(size);
    name.resize(type.size(), '_');
    return name;
}

// A helper for every way `size` components split, in order, into parts of 1
// to `size`: a bit of `cuts` set where a part ends after that component.
std::string Helpers(std::string_view type, std::string_view base, uint32_t size)
{
    const std::string name = HelperName(type, base, size);
    std::string out;
    for (uint32_t cuts = 0; cuts < (1u << (size - 1)); ++cuts) {
        std::string parameters, body;
        uint32_t first = 0;
        for (uint32_t k = 0, part = 0; k < size; ++k) {
            if (k + 1 < size && !(cuts >> k & 1))
                continue;
            const uint32_t count = k + 1 - first;
            const std::string local = "a" + std::to_string(part++);
            parameters += "inout " + std::string(base) + (count > 1 ? std::to_string(count) : "") + " " + local + ", ";
            body += local + " = v." + std::string("xyzw").substr(first, count) + "; ";
            first = k + 1;
        }
        out += "void " + name + "(" + parameters + std::string(type) + " v) { " + body + "} ";
    }
    return out;
}

// Whether `text` has a ')' and then, past blanks, an '=' that is no '==':
// a target's end, looked for before the text is read as tokens.
bool MayHaveTargets(std::string_view text)
{
    for (size_t at = text.find(')'); at != std::string_view::npos; at = text.find(')', at + 1)) {
        const size_t next = text.find_first_not_of(" \t\r\n", at + 1);
        if (next != std::string_view::npos && next + 1 < text.size() && text[next] == '=' && text[next + 1] != '=')
            return true;
    }
    return false;
}

} // namespace

std::string ConstructorTargetType(std::string_view helper)
{
    if (helper.size() < 4 || !helper.starts_with("zl") || helper[3] < '2' || helper[3] > '4')
        return {};
    for (std::string_view base : kTargetBases) {
        const std::string type = std::string(base) + helper[3];
        if (base[0] == helper[2] && type.size() == helper.size() && HelperName(type, base, helper[3] - '0') == helper)
            return type;
    }
    return {};
}

TargetCall ReadTargetCall(std::string_view text, size_t open)
{
    TargetCall call;
    uint32_t argument = 0;
    bool starting = true;
    size_t at = open + 1;
    for (int depth = 1; at < text.size() && depth > 0; ++at) {
        const char c = text[at];
        const uint32_t letter = depth == 1 && at + kMarkLength <= text.size() && text.compare(at, 2, "/*") == 0 &&
                                        text.compare(at + 3, 2, "*/") == 0
                                    ? uint32_t(text[at + 2] - 'a')
                                    : 3 * kMostMarked;
        if (letter < 3 * kMostMarked) {
            call.marks.push_back({2 + letter / kMostMarked, argument, 1 + letter % kMostMarked, at});
            at += kMarkLength - 1;
            continue;
        }
        if (starting && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            call.arguments.push_back(at);
            starting = false;
        }
        depth += c == '(' || c == '[' || c == '{' ? 1 : c == ')' || c == ']' || c == '}' ? -1 : 0;
        if (depth == 1 && c == ',') {
            ++argument;
            starting = true;
        }
    }
    platform::CountSteps(at - open);
    return call;
}

std::string RewriteConstructorTargets(std::string& text)
{
    if (!MayHaveTargets(text))
        return {};
    TokenProblem problem;
    const std::vector<Token> tokens = Tokenize(text, &problem);
    const std::vector<size_t> matches = BracketMatches(tokens);
    const size_t n = tokens.size();
    // Where a value that starts at each token runs to: the first ';', ',' or
    // closing bracket past whole brackets (n for none), found from the end
    // once, so that no value is read again for every candidate within it.
    std::vector<size_t> valueEnd(n + 1, n);
    for (size_t k = n; k-- > 0;) {
        const Token& t = tokens[k];
        if (t.Is(';') || t.Is(',') || t.Is(')') || t.Is(']') || t.Is('}'))
            valueEnd[k] = k;
        else if (t.Is('(') || t.Is('[') || t.Is('{'))
            valueEnd[k] = matches[k] < n ? valueEnd[matches[k] + 1] : n;
        else
            valueEnd[k] = valueEnd[k + 1];
    }
    platform::CountSteps(n);
    std::string prelude;
    std::set<std::string> made;
    std::vector<size_t> closes; // the ';' of each statement rewritten, in order
    for (size_t i = 0; i + 3 < n; ++i) {
        std::string_view base;
        uint32_t size = 0;
        if (tokens[i].kind != TokenKind::Identifier || !tokens[i + 1].Is('(') ||
            !TargetType(tokens[i].text, base, size))
            continue;
        // A statement's start: nothing it could be an operand of stands before it.
        const Token* before = i > 0 ? &tokens[i - 1] : nullptr;
        if (before && !(before->Is(';') || before->Is('{') || before->Is('}') || before->Is(')') ||
                        before->Is(':') || before->Is("else") || before->kind == TokenKind::Directive))
            continue;
        const size_t close = matches[i + 1];
        if (close >= n || close == i + 2 || close + 2 >= n || !tokens[close + 1].Is('=') ||
            (tokens[close + 2].Is('=') && tokens[close + 2].offset == tokens[close + 1].offset + 1))
            continue;
        // Its value runs to the ';' (a comma would split it among the helper's arguments).
        const size_t end = valueEnd[close + 2];
        if (end >= n || !tokens[end].Is(';') || end == close + 2)
            continue;
        // The tokens view the text: what they name is taken before it changes.
        const std::string type(tokens[i].text);
        if (made.insert(type).second)
            prelude += Helpers(type, base, size);
        text.replace(tokens[i].offset, type.size(), HelperName(type, base, size));
        MarkNested(text, tokens, matches, i + 2, close);
        text[tokens[close].offset] = ',';
        text[tokens[close + 1].offset] = ' ';
        closes.push_back(tokens[end].offset);
        i = end;
    }
    if (closes.empty())
        return {};
    // The helper's ')' before each ';', in the place of a blank after it on its line.
    std::vector<TextInsertion> closers;
    for (size_t semicolon : closes)
        closers.push_back({semicolon, ")"});
    InsertKeepingColumns(text, std::move(closers));
    return prelude;
}

} // namespace gfx
