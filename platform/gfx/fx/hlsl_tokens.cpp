#include "platform/gfx/fx/hlsl_tokens.h"

#include <cctype>

namespace gfx {

namespace {
bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
} // namespace

std::vector<HlslToken> TokenizeHlsl(std::string_view text)
{
    std::vector<HlslToken> tokens;
    bool lineStart = true;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 2;
            continue;
        }
        HlslToken token;
        token.offset = i;
        const size_t start = i;
        if (c == '#' && lineStart) {
            token.kind = HlslTokenKind::Directive;
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (IdentStart(c)) {
            token.kind = HlslTokenKind::Identifier;
            while (i < text.size() && IdentChar(text[i]))
                ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            token.kind = HlslTokenKind::Number;
            ++i;
            while (i < text.size() && (IdentChar(text[i]) || text[i] == '.' ||
                                       ((text[i] == '+' || text[i] == '-') && (text[i - 1] == 'e' || text[i - 1] == 'E'))))
                ++i;
        } else if (c == '"') {
            token.kind = HlslTokenKind::String;
            ++i;
            while (i < text.size() && text[i] != '"' && text[i] != '\n') {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                ++i;
            }
            if (i < text.size() && text[i] == '"')
                ++i;
        } else {
            token.kind = HlslTokenKind::Symbol;
            ++i;
        }
        lineStart = false;
        token.text = text.substr(start, i - start);
        tokens.push_back(token);
    }
    return tokens;
}

size_t MatchingBracket(const std::vector<HlslToken>& tokens, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        const HlslToken& t = tokens[i];
        if (t.kind != HlslTokenKind::Symbol)
            continue;
        const char c = t.text[0];
        if (c == '(' || c == '[' || c == '{')
            ++depth;
        else if (c == ')' || c == ']' || c == '}') {
            if (--depth == 0)
                return i;
        }
    }
    return tokens.size();
}

} // namespace gfx
