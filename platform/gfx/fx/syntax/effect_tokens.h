#pragma once
// The one tokenizer of effect text, for the effect parser and for the readers of
// the HLSL inside it: identifiers, numbers, strings, symbols and preprocessor
// lines, with comments and blanks skipped. Each token keeps its place (offset,
// line and column in the text), so a caller can report it or cut the text
// around it. The character classes and scanners here are the preprocessor's too,
// so every reader of effect text agrees on what a name, a number and a string are.
// Bytes outside ASCII are never letters or digits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
inline bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }
// White space within a line (the line break is not a blank).
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// A whole identifier: a letter or '_', then letters, digits and '_'.
inline bool IsIdentifier(std::string_view s)
{
    return !s.empty() && IsIdentStart(s.front()) && std::all_of(s.begin(), s.end(), IsIdentChar);
}

// Where the run of identifier characters from `i` ends.
inline size_t SkipIdentChars(std::string_view text, size_t i)
{
    while (i < text.size() && IsIdentChar(text[i]))
        ++i;
    return i;
}

// A number starts at `i`: a digit, or '.' before a digit.
inline bool StartsNumber(std::string_view text, size_t i)
{
    return i < text.size() &&
           (IsDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])));
}

// Whether the '.' at `dot` begins a swizzle of the number before it: one to
// four of xyzw, or of rgba, and no more of a name (`0.25.xxxx`, `1.xxx`).
bool StartsLiteralSwizzle(std::string_view text, size_t dot);
// Where the number that starts at `i` ends: letters, digits, '.', and a sign
// after an exponent's 'e'. A hexadecimal number has no exponent, so its sign
// ends it, except to the preprocessor (`preprocessing`), for which "0x1e+1" is
// one number as in C. A swizzle written on a number is not part of it, except
// to the preprocessor: `1.xxx` is the number 1 and `.xxx`, and `0.0.xxx` the
// number 0.0 and `.xxx`, to every reader of effect text alike.
size_t NumberEnd(std::string_view text, size_t i, bool preprocessing = false);
// Where the string whose quote is at `i` ends: past its closing quote, or at the
// line end or the end of the text when it is not closed (`closed` says which).
// A backslash keeps the next character in the string, except a line end.
size_t StringEnd(std::string_view text, size_t i, bool& closed);
// Where the comment that starts at `i` ("//" or "/*") ends: at the line end, or
// past its "*/"; npos for a block comment that is never closed.
size_t CommentEnd(std::string_view text, size_t i);
inline bool StartsComment(std::string_view text, size_t i)
{
    return text[i] == '/' && i + 1 < text.size() && (text[i + 1] == '/' || text[i + 1] == '*');
}

// The bytes of the tokens of `text`, directives' among them: all but its
// comments, blanks and line ends, as the preprocessor takes comments out
// before it reads a line. What the lines an effect's preprocessor reads are
// worth to its budgets, which no comment nor skipped text can pad. A block comment left open ends them. A name,
// number or string is read in one step however long it is: each counts at
// most kMostBytesOfAToken, so a long one buys no more work than a short one.
inline constexpr size_t kMostBytesOfAToken = 16;
size_t TokenBytes(std::string_view text);

enum class TokenKind : uint8_t { End, Identifier, Number, String, Symbol, Directive };
// End is no token of the text: a reader may add one to mark where the text ends.

// Laid out small: a text has about one token for every four bytes.
struct Token {
    std::string_view text; // a directive runs to its line's end
    size_t offset = 0;
    int line = 1;
    int column = 1;
    int file = 0; // left to the reader that follows `#line` markers
    TokenKind kind = TokenKind::End;

    bool Is(char symbol) const { return kind == TokenKind::Symbol && text[0] == symbol; }
    bool Is(std::string_view word) const { return kind == TokenKind::Identifier && text == word; }
};

// What stopped the tokenizer: the place, code and text of an effect error.
struct TokenProblem {
    int line = 0; // 0: none
    int column = 0;
    int code = 0; // the effect error number
    std::string text;
    bool closing = false; // stopped because the program is closing, not by the text
};

// The tokens of a text one at a time, for a reader that keeps only the few it
// looks at. A '#' that opens a line (after blanks only) starts a directive; any
// other character outside names, numbers and strings is a one-character symbol.
// A string left open at its line's end or a block comment left open stops the
// tokens there, with Problem() set.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : text_(text) {}
    // The next token; End at the text's end or where a problem stopped it, at
    // the line and column reached.
    Token Next();
    const TokenProblem& Problem() const { return problem_; }

private:
    std::string_view text_;
    size_t at_ = 0;
    int line_ = 1;
    size_t lineStart_ = 0;
    bool atLineStart_ = true;
    TokenProblem problem_;
};

// Every token of `text`, as Tokenizer reads them; `problem` is set when one
// stopped them. With `problem`, a close
// signal (platform::CloseSignalReceived) stops them too, looked for every few
// thousand tokens, with `closing` set; without it the text is read to its end.
std::vector<Token> Tokenize(std::string_view text, TokenProblem* problem = nullptr);

// Whether the identifier at `i` may name a declaration of the text: a member
// or swizzle after '.' never does, whatever globals share its name.
inline bool MayNameDeclaration(const std::vector<Token>& tokens, size_t i)
{
    return tokens[i].kind == TokenKind::Identifier && !(i > 0 && tokens[i - 1].Is('.'));
}

// The index of the token that closes the bracket opened at `open` ('(' '[' '{'),
// or tokens.size() when it is never closed.
size_t MatchingBracket(const std::vector<Token>& tokens, size_t open);
// For every token, the index of the one that closes the bracket it opens, as
// MatchingBracket finds it, all found in one pass; tokens.size() for a token
// that opens none or one never closed.
std::vector<size_t> BracketMatches(const std::vector<Token>& tokens);

} // namespace gfx
