#include "platform/gfx/fx/syntax/effect_tokens.h"

#include <algorithm>

#include "platform/window/close_check.h"

namespace gfx {

bool StartsLiteralSwizzle(std::string_view text, size_t dot)
{
    const size_t end = SkipIdentChars(text, dot + 1);
    if (end == dot + 1 || end - dot - 1 > 4)
        return false;
    const std::string_view name = text.substr(dot + 1, end - dot - 1);
    return name.find_first_not_of("xyzw") == std::string_view::npos ||
           name.find_first_not_of("rgba") == std::string_view::npos;
}

size_t NumberEnd(std::string_view text, size_t i, bool preprocessing)
{
    const bool hex = !preprocessing && text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X');
    ++i;
    while (i < text.size() && (IsIdentChar(text[i]) || text[i] == '.' ||
                               (!hex && (text[i] == '+' || text[i] == '-') && (text[i - 1] == 'e' || text[i - 1] == 'E')))) {
        if (text[i] == '.' && !preprocessing && StartsLiteralSwizzle(text, i))
            break;
        ++i;
    }
    return i;
}

size_t StringEnd(std::string_view text, size_t i, bool& closed)
{
    ++i;
    while (i < text.size() && text[i] != '"' && text[i] != '\n') {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] != '\n')
            ++i;
        ++i;
    }
    closed = i < text.size() && text[i] == '"';
    return closed ? i + 1 : i;
}

size_t CommentEnd(std::string_view text, size_t i)
{
    if (text[i + 1] == '/') {
        const size_t end = text.find('\n', i);
        return end == std::string_view::npos ? text.size() : end;
    }
    const size_t end = text.find("*/", i + 2);
    return end == std::string_view::npos ? end : end + 2;
}

size_t TokenBytes(std::string_view text)
{
    size_t bytes = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\n' || IsBlank(text[i])) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        if (StartsComment(text, i)) {
            end = CommentEnd(text, i);
            if (end == std::string_view::npos)
                break;
        } else {
            bool closed = false;
            if (text[i] == '"')
                end = StringEnd(text, i, closed);
            else
                while (end < text.size() && IsIdentChar(text[end]) && IsIdentChar(text[i]))
                    ++end;
            bytes += std::min(end - i, kMostBytesOfAToken);
        }
        i = end;
    }
    return bytes;
}

Token Tokenizer::Next()
{
    const std::string_view text = text_;
    size_t& i = at_;
    while (i < text.size() && problem_.line == 0) {
        const char c = text[i];
        if (c == '\n') {
            ++line_;
            lineStart_ = ++i;
            atLineStart_ = true;
            continue;
        }
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        const bool directive = c == '#' && atLineStart_;
        atLineStart_ = false;
        if (!directive && StartsComment(text, i)) {
            const size_t end = CommentEnd(text, i);
            if (end == std::string_view::npos) {
                problem_ = {line_, static_cast<int>(i - lineStart_) + 1, 3001, "unexpected end of file in a comment"};
                break;
            }
            for (size_t k = i; k < end; ++k)
                if (text[k] == '\n') {
                    ++line_;
                    lineStart_ = k + 1;
                }
            i = end;
            continue;
        }
        Token token;
        token.offset = i;
        token.line = line_;
        token.column = static_cast<int>(i - lineStart_) + 1;
        if (directive) {
            token.kind = TokenKind::Directive;
            i = std::min(text.find('\n', i), text.size());
        } else if (IsIdentStart(c)) {
            token.kind = TokenKind::Identifier;
            i = SkipIdentChars(text, i);
        } else if (StartsNumber(text, i)) {
            token.kind = TokenKind::Number;
            i = NumberEnd(text, i);
        } else if (c == '"') {
            token.kind = TokenKind::String;
            bool closed = false;
            i = StringEnd(text, i, closed);
            if (!closed) {
                problem_ = {line_, token.column, 3001, "newline in a string constant"};
                break;
            }
        } else {
            token.kind = TokenKind::Symbol;
            ++i;
        }
        token.text = text.substr(token.offset, i - token.offset);
        return token;
    }
    Token end;
    end.offset = i;
    end.line = line_;
    end.column = static_cast<int>(i - lineStart_) + 1;
    return end;
}

std::vector<Token> Tokenize(std::string_view text, TokenProblem* problem)
{
    std::vector<Token> tokens;
    Tokenizer tokenizer(text);
    for (Token token = tokenizer.Next(); token.kind != TokenKind::End; token = tokenizer.Next()) {
        tokens.push_back(token);
        if (platform::ClosingAfter() && problem) {
            *problem = TokenProblem{token.line, token.column, 3000, "not compiled: the program is closing", true};
            return tokens;
        }
    }
    if (problem && tokenizer.Problem().line != 0)
        *problem = tokenizer.Problem();
    return tokens;
}

size_t MatchingBracket(const std::vector<Token>& tokens, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind != TokenKind::Symbol)
            continue;
        const char c = t.text[0];
        if (c == '(' || c == '[' || c == '{')
            ++depth;
        else if (c == ')' || c == ']' || c == '}') {
            if (--depth == 0) {
                platform::CountSteps(i - open);
                return i;
            }
        }
    }
    platform::CountSteps(tokens.size() - open);
    return tokens.size();
}

std::vector<size_t> BracketMatches(const std::vector<Token>& tokens)
{
    std::vector<size_t> matches(tokens.size(), tokens.size());
    std::vector<size_t> open;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Symbol)
            continue;
        const char c = tokens[i].text[0];
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(i);
        } else if ((c == ')' || c == ']' || c == '}') && !open.empty()) {
            matches[open.back()] = i;
            open.pop_back();
        }
    }
    platform::CountSteps(tokens.size());
    return matches;
}

} // namespace gfx
