// The effect parser's token reader: tokens with the places `#line` markers give,
// errors of the text, and brackets skipped to their partners.
#include "platform/gfx/fx/parser/token_reader.h"

#include <algorithm>
#include <array>

#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/window/close_check.h"

namespace gfx::parse {
namespace {

bool IsEffectSymbol(char c)
{
    static const auto kSymbols = [] {
        std::array<bool, 256> table{};
        for (char s : std::string_view("{}()[];,:=<>+-*/%.!~&|^?"))
            table[static_cast<unsigned char>(s)] = true;
        return table;
    }();
    return kSymbols[static_cast<unsigned char>(c)];
}

} // namespace

bool TokenReader::LexError(int line, int column, int code, const std::string& text)
{
    messages_ += FormatEffectError(FileName(file_), line, column, code, text);
    failed_ = true;
    return false;
}

// `#line N "file"` as the preprocessor writes it: the file and the number of
// the line after it.
bool TokenReader::LineMarker(const Token& directive, int& number)
{
    const std::string_view text = directive.text;
    if (text.substr(0, 6) != "#line ")
        return LexError(directive.line, directive.column, 3002, "unexpected preprocessor directive");
    size_t k = 6;
    long value = 0;
    while (k < text.size() && IsDigit(text[k]))
        value = std::min(value * 10 + (text[k++] - '0'), 100000000L);
    if (k == 6)
        return LexError(directive.line, 1, 3002, "invalid #line");
    while (k < text.size() && text[k] == ' ')
        ++k;
    if (k < text.size() && text[k] == '"') {
        size_t close = text.find('"', k + 1);
        if (close == std::string_view::npos)
            return LexError(directive.line, 1, 3002, "invalid #line");
        const std::string_view name = text.substr(k + 1, close - k - 1);
        bool added = false;
        file_ = static_cast<int>(fileIndex_.Insert(name, static_cast<uint32_t>(files_.size()), added));
        if (added)
            files_.push_back(name);
    }
    number = static_cast<int>(value);
    return true;
}

// The next token, with the line and file that the markers give it. At an
// error of the text, or once the program is closing, the tokens end there.
Token TokenReader::Fetch()
{
    while (!stopped_) {
        Token t = tokenizer_.Next();
        t.line += shift_;
        t.file = file_;
        if (platform::ClosingAfter()) {
            closing_ = true;
            closedAt_ = t;
            break;
        }
        if (t.kind == TokenKind::End)
            return End(t);
        if (t.kind == TokenKind::Directive) {
            int number = 0;
            if (!LineMarker(t, number))
                break;
            markerLine_ = t.line - shift_;
            shift_ = number - markerLine_ - 1;
            continue;
        }
        if (t.kind == TokenKind::Symbol && !IsEffectSymbol(t.text[0])) {
            unsigned char u = static_cast<unsigned char>(t.text[0]);
            std::string shown = std::isprint(u) ? std::string(1, t.text[0]) : "\\x" + std::string(1, "0123456789abcdef"[u >> 4]) + std::string(1, "0123456789abcdef"[u & 15]);
            LexError(t.line, t.column, 3001, "invalid character '" + shown + "'");
            break;
        }
        return t;
    }
    stopped_ = true;
    Token end;
    end.file = file_;
    return end;
}

// Where the text ends (`raw`, its end as the tokenizer met it), or where
// an open string or comment stopped it.
Token TokenReader::End(Token raw)
{
    const TokenProblem& problem = tokenizer_.Problem();
    if (problem.line != 0) {
        LexError(problem.line + shift_, problem.column, problem.code, problem.text);
        stopped_ = true;
    } else if (raw.line - shift_ == markerLine_) {
        raw.line += 1; // after a marker on the last line: the start of the line it numbers
        raw.column = 1;
    }
    return raw;
}

bool TokenReader::Fail(const Token& at, int code, const std::string& text)
{
    if (!failed_ && closing_)
        messages_ += EffectClosingError(FileName(closedAt_.file), closedAt_.line);
    else if (!failed_)
        messages_ += FormatEffectError(FileName(at.file), at.line, at.column, code, text);
    failed_ = true;
    return false;
}

bool TokenReader::Unexpected(const Token& at)
{
    if (at.kind == TokenKind::End)
        return Fail(at, 3000, "syntax error: unexpected end of file");
    return Fail(at, 3000, "syntax error: unexpected token '" + std::string(at.text) + "'");
}

// Skips from an opening bracket to its partner, the closing token `end`;
// `first` and `last` get the first and last token between them (`first`
// is `end` when there is none), `inner` every token between them.
bool TokenReader::SkipBalanced(Token& end, Token* first, Token* last, std::vector<Token>* inner)
{
    std::vector<Token> open;
    for (;;) {
        const Token t = Peek();
        if (inner && !open.empty() && !(open.size() == 1 && t.kind == TokenKind::Symbol &&
                                        (t.text[0] == ')' || t.text[0] == ']' || t.text[0] == '}')))
            inner->push_back(t);
        if (open.size() == 1 && first && previous_.offset == open.back().offset)
            *first = t;
        if (t.kind == TokenKind::End) {
            const Token opener = open.empty() ? t : open.back();
            char closer = opener.text[0] == '(' ? ')' : opener.text[0] == '[' ? ']' : '}';
            return Fail(opener, 3000,
                        "syntax error: '" + std::string(opener.text) + "' has no matching '" +
                            std::string(1, closer) + "'");
        }
        if (t.kind == TokenKind::Symbol) {
            char c = t.text[0];
            if (c == '(' || c == '[' || c == '{') {
                open.push_back(t);
            } else if (c == ')' || c == ']' || c == '}') {
                char wanted = open.empty() ? 0 : open.back().text[0];
                wanted = wanted == '(' ? ')' : wanted == '[' ? ']' : wanted == '{' ? '}' : 0;
                if (c != wanted)
                    return Fail(t, 3000, "syntax error: unbalanced '" + std::string(1, c) + "'");
                open.pop_back();
                if (open.empty()) {
                    if (last)
                        *last = previous_;
                    end = Next();
                    return true;
                }
            }
        }
        Next();
    }
}

} // namespace gfx::parse
