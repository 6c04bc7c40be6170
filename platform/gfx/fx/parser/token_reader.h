#pragma once
// The effect parser's tokens: the reader every part of the parser reads through,
// with the places that `#line` markers give and the first error it meets.
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/name_table.h"

namespace gfx::parse {

inline std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

class TokenReader {
protected:
    TokenReader(std::string_view text, const std::string& fileName, std::string& messages)
        : text_(text), messages_(messages), tokenizer_(text)
    {
        files_.push_back(fileName);
        fileIndex_.Add(fileName, 0);
    }

    // ---- Lexing ----

    bool LexError(int line, int column, int code, const std::string& text);
    std::string FileName(int file) const { return std::string(files_[static_cast<size_t>(file)]); }

    bool LineMarker(const Token& directive, int& number);
    Token Fetch();
    Token End(Token raw);

    // ---- Token helpers ----

    const Token& Peek(size_t ahead = 0)
    {
        if (ahead == 0)
            return current_;
        if (!hasAhead_) {
            ahead_ = Fetch();
            hasAhead_ = true;
        }
        return ahead_;
    }
    Token Next()
    {
        const Token t = current_;
        if (t.kind != TokenKind::End) {
            previous_ = t;
            current_ = hasAhead_ ? ahead_ : Fetch();
            hasAhead_ = false;
        }
        return t;
    }
    static bool IsSymbol(const Token& t, char c)
    {
        return t.kind == TokenKind::Symbol && t.text[0] == c;
    }
    static bool IsWord(const Token& t, std::string_view word)
    {
        return t.kind == TokenKind::Identifier && t.text == word;
    }
    static bool IsWordNoCase(const Token& t, std::string_view word)
    {
        return t.kind == TokenKind::Identifier && Lower(t.text) == word;
    }

    bool Fail(const Token& at, int code, const std::string& text);
    bool Unexpected(const Token& at);
    bool Expect(char c)
    {
        if (!IsSymbol(Peek(), c))
            return Unexpected(Peek());
        Next();
        return true;
    }
    bool ExpectName(std::string& name)
    {
        if (Peek().kind != TokenKind::Identifier)
            return Unexpected(Peek());
        name = std::string(Next().text);
        return true;
    }

    bool SkipBalanced(Token& end, Token* first = nullptr, Token* last = nullptr, std::vector<Token>* inner = nullptr);

    std::string_view SourceBetween(const Token& a, const Token& b) const
    {
        return text_.substr(a.offset, b.offset + b.text.size() - a.offset);
    }

    std::string_view text_;
    std::string& messages_;
    Tokenizer tokenizer_;
    Token current_;      // Peek()
    Token ahead_;        // Peek(1), once read
    bool hasAhead_ = false;
    Token previous_;     // the last token Next() passed
    int shift_ = 0;      // the line number the markers give minus the line in text_
    int markerLine_ = 0; // in text_, of the last marker
    bool stopped_ = false; // the tokens ended early
    // Names are looked up by hashing, as views of the text (or of the file's
    // name), so that none costs more for the many declared before it.
    std::vector<std::string_view> files_;
    NameTable fileIndex_;
    int file_ = 0;
    bool failed_ = false;
    bool closing_ = false; // a close signal came: the rest reads as the end
    Token closedAt_;       // the token the close signal stopped
};

} // namespace gfx::parse
