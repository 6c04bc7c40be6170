#include "platform/gfx/fx/parser/effect_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <optional>
#include <set>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/parser/effect_states.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/hlsl_modifiers.h"
#include "platform/gfx/fx/syntax/name_table.h"
#include "platform/gfx/fx/parser/struct_layouts.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct TypeInfo {
    EffectParameterType type = EffectParameterType::Float;
    ValueBase base = ValueBase::Float; // of a numeric type
    uint8_t rows = 1;
    uint8_t columns = 1;
    bool matrix = false;
    std::string structName;
    bool isVoid = false;
    std::string_view written;
};

class Parser {
public:
    // Where the statics whose values call the effect's functions are told, or null.
    std::vector<FoldedInitializer>* folded_ = nullptr;
    // Where the statics given their values at the entry points are named, or null.
    std::vector<std::string>* assigned_ = nullptr;

    Parser(std::string_view text, const std::string& fileName, std::string& messages, size_t sourceBytes)
        : text_(text), messages_(messages), tokenizer_(text),
          budget_(ExpressionBudget::ForText(sourceBytes != 0 ? sourceBytes : text.size()))
    {
        files_.push_back(fileName);
        fileIndex_.Add(fileName, 0);
    }

    bool Run(EffectDescription& out)
    {
        current_ = Fetch();
        while (Peek().kind != TokenKind::End) {
            if (!TopLevel())
                return false;
        }
        if (failed_)
            return false;
        if (closing_ || !Gather(parameters_, out_.parameters))
            return Fail(Peek(), 3000, "");
        ConvertStructDefaults();
        bool stopped = false;
        std::string problem = CheckEffectDescription(out_, &stopped);
        if (stopped) {
            closing_ = true;
            closedAt_ = current_;
        }
        if (!problem.empty())
            return Fail(Peek(), 3999, problem);
        out = std::move(out_);
        return true;
    }

private:
    // ---- Lexing ----

    bool LexError(int line, int column, int code, const std::string& text)
    {
        messages_ += FormatEffectError(FileName(file_), line, column, code, text);
        failed_ = true;
        return false;
    }
    std::string FileName(int file) const { return std::string(files_[static_cast<size_t>(file)]); }

    // `#line N "file"` as the preprocessor writes it: the file and the number of
    // the line after it.
    bool LineMarker(const Token& directive, int& number)
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

    static bool IsEffectSymbol(char c)
    {
        static const auto kSymbols = [] {
            std::array<bool, 256> table{};
            for (char s : std::string_view("{}()[];,:=<>+-*/%.!~&|^?"))
                table[static_cast<unsigned char>(s)] = true;
            return table;
        }();
        return kSymbols[static_cast<unsigned char>(c)];
    }

    // The next token, with the line and file that the markers give it. At an
    // error of the text, or once the program is closing, the tokens end there.
    Token Fetch()
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
    Token End(Token raw)
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

    bool Fail(const Token& at, int code, const std::string& text)
    {
        if (!failed_ && closing_)
            messages_ += EffectClosingError(FileName(closedAt_.file), closedAt_.line);
        else if (!failed_)
            messages_ += FormatEffectError(FileName(at.file), at.line, at.column, code, text);
        failed_ = true;
        return false;
    }
    bool Unexpected(const Token& at)
    {
        if (at.kind == TokenKind::End)
            return Fail(at, 3000, "syntax error: unexpected end of file");
        return Fail(at, 3000, "syntax error: unexpected token '" + std::string(at.text) + "'");
    }
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

    // Skips from an opening bracket to its partner, the closing token `end`;
    // `first` and `last` get the first and last token between them (`first`
    // is `end` when there is none), `inner` every token between them.
    bool SkipBalanced(Token& end, Token* first = nullptr, Token* last = nullptr, std::vector<Token>* inner = nullptr)
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

    std::string_view SourceBetween(const Token& a, const Token& b) const
    {
        return text_.substr(a.offset, b.offset + b.text.size() - a.offset);
    }

    // ---- Types ----

    static bool IsKeyword(std::string_view word)
    {
        static const std::set<std::string_view> kWords = {
            "break", "case", "cbuffer", "class", "compile", "continue", "default", "discard", "do", "else",
            "false", "for", "if", "in", "inout", "interface", "namespace", "out", "pass", "register", "return",
            "sampler_state", "stateblock", "struct", "switch", "tbuffer", "technique", "technique10",
            "technique11", "true", "typedef", "while", "in", "Texture2D", "SamplerState"};
        return kWords.count(word) > 0;
    }

    bool ParseType(TypeInfo& info)
    {
        const Token t = Peek();
        if (t.kind != TokenKind::Identifier)
            return Unexpected(t);
        info = TypeInfo();
        info.written = t.text;
        std::string lower = Lower(t.text);
        static const std::pair<const char*, EffectParameterType> objects[] = {
            {"texture", EffectParameterType::Texture},
            {"texture1d", EffectParameterType::Texture1D},
            {"texture2d", EffectParameterType::Texture2D},
            {"texture3d", EffectParameterType::Texture3D},
            {"texturecube", EffectParameterType::TextureCube},
            {"sampler", EffectParameterType::Sampler},
            {"sampler1d", EffectParameterType::Sampler1D},
            {"sampler2d", EffectParameterType::Sampler2D},
            {"sampler3d", EffectParameterType::Sampler3D},
            {"samplercube", EffectParameterType::SamplerCube},
        };
        for (const auto& [name, type] : objects)
            if (lower == name) {
                Next();
                info.type = type;
                info.rows = info.columns = 0;
                return true;
            }
        if (t.text == "void") {
            Next();
            info.isVoid = true;
            return true;
        }
        if (lower == "string") {
            Next();
            info.type = EffectParameterType::String;
            info.rows = info.columns = 0;
            return true;
        }
        if (t.text == "vector" || t.text == "matrix") {
            bool isMatrix = t.text == "matrix";
            Next();
            info.rows = isMatrix ? 4 : 1;
            info.columns = 4;
            info.matrix = isMatrix;
            if (!IsSymbol(Peek(), '<'))
                return true;
            Next();
            TypeInfo element;
            const Token elementToken = Peek();
            // The element is a scalar: no vector of vectors, however deep, is read.
            if (elementToken.text == "vector" || elementToken.text == "matrix")
                return Fail(elementToken, 3000, "syntax error: scalar type expected");
            if (!ParseType(element))
                return false;
            if (element.isVoid || !IsNumericType(element.type) || element.rows != 1 || element.columns != 1)
                return Fail(elementToken, 3000, "syntax error: scalar type expected");
            info.type = element.type;
            info.base = element.base;
            info.matrix = isMatrix;
            for (int dimension = 0; dimension < (isMatrix ? 2 : 1); ++dimension) {
                if (!Expect(','))
                    return false;
                const Token n = Peek();
                if (n.kind != TokenKind::Number || n.text.size() != 1 || n.text[0] < '1' || n.text[0] > '4')
                    return Fail(n, 3005, "invalid size: 1 to 4 expected");
                uint8_t v = static_cast<uint8_t>(n.text[0] - '0');
                (isMatrix && dimension == 0 ? info.rows : info.columns) = v;
                Next();
            }
            return Expect('>');
        }
        static const std::pair<const char*, EffectParameterType> scalars[] = {
            {"bool", EffectParameterType::Bool},   {"int", EffectParameterType::Int},
            {"uint", EffectParameterType::Int},    {"dword", EffectParameterType::Int},
            {"half", EffectParameterType::Float},  {"float", EffectParameterType::Float},
            {"double", EffectParameterType::Float},
        };
        for (const auto& [name, type] : scalars) {
            std::string_view base(name);
            if (t.text.substr(0, base.size()) != base)
                continue;
            std::string_view suffix = t.text.substr(base.size());
            auto dim = [](char c) { return c >= '1' && c <= '4'; };
            if (suffix.empty()) {
                info.rows = info.columns = 1;
            } else if (suffix.size() == 1 && dim(suffix[0])) {
                info.rows = 1;
                info.columns = static_cast<uint8_t>(suffix[0] - '0');
            } else if (suffix.size() == 3 && dim(suffix[0]) && suffix[1] == 'x' && dim(suffix[2])) {
                info.rows = static_cast<uint8_t>(suffix[0] - '0');
                info.columns = static_cast<uint8_t>(suffix[2] - '0');
            } else {
                continue;
            }
            info.type = type;
            ValueShape shape;
            BuiltInShape(t.text, shape);
            info.base = shape.base;
            info.matrix = shape.matrix;
            Next();
            return true;
        }
        if (const uint32_t found = typedefIndex_.Find(t.text); found != NameTable::kNone) {
            Next();
            info = typedefs_[found];
            return true;
        }
        if (structNames_.Contains(t.text)) {
            Next();
            info.type = EffectParameterType::Struct;
            info.rows = info.columns = 0;
            info.structName = std::string(t.text);
            return true;
        }
        if (IsIntrinsicName(t.text))
            return Fail(t, 3000, "syntax error: '" + std::string(t.text) + "' is an intrinsic function, not a type");
        if (IsKeyword(t.text))
            return Fail(t, 3000, "syntax error: unexpected keyword '" + std::string(t.text) + "'");
        return Fail(t, 3004, "unknown type '" + std::string(t.text) + "'");
    }

    // ---- Constant values ----

    bool Number(const Token& t, float& value)
    {
        std::string s(t.text);
        char* end = nullptr;
        double v = 0;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            while (!s.empty() && (s.back() == 'u' || s.back() == 'U' || s.back() == 'l' || s.back() == 'L'))
                s.pop_back();
            v = static_cast<double>(std::strtoull(s.c_str() + 2, &end, 16));
        } else {
            while (!s.empty() && std::string_view("fFhHlLuU").find(s.back()) != std::string_view::npos)
                s.pop_back();
            v = std::strtod(s.c_str(), &end);
        }
        if (s.empty() || end == nullptr || *end != '\0' || !std::isfinite(static_cast<float>(v)))
            return Fail(t, 3000, "invalid number '" + std::string(t.text) + "'");
        value = static_cast<float>(v);
        return true;
    }

    // ---- Constant expressions ----

    // The parser's tokens as the expression reader reads them.
    class Tokens : public ExpressionTokens {
    public:
        explicit Tokens(Parser& parser) : parser_(parser) {}
        const Token& Peek(size_t ahead) override { return parser_.Peek(ahead); }
        Token Next() override { return parser_.Next(); }

    private:
        Parser& parser_;
    };

    // What a name means in an expression: what was declared before it.
    struct Symbol {
        ExpressionName::Kind kind = ExpressionName::Kind::Unknown;
        ExpressionValue value;
        Expression program;
        uint32_t parameter = 0;
        ValueShape shape;
        std::string_view text; // a function's definition
        Token at;              // where a function begins
        std::string why;       // what a Refused name is
        // A static computed from parameters whose value the shaders give it
        // at their entry point's start, not in its declaration.
        bool assignedAtEntry = false;
    };

    class Names : public ExpressionNames {
    public:
        explicit Names(Parser& parser) : parser_(parser) {}
        ExpressionName Find(std::string_view name) override
        {
            ExpressionName out;
            if (name.find_first_of(".[") != std::string_view::npos)
                return parser_.StructPartNamed(name);
            const uint32_t found = parser_.symbolIndex_.Find(name);
            if (found == NameTable::kNone)
                return out;
            const Symbol& s = parser_.symbols_[found];
            out.kind = s.kind;
            out.value = &s.value;
            out.parameter = s.parameter;
            out.first = 0;
            out.shape = s.shape;
            out.program = &s.program;
            out.text = s.kind == ExpressionName::Kind::Refused ? std::string_view(s.why) : s.text;
            out.line = s.at.line;
            out.column = s.at.column;
            out.file = s.at.file;
            return out;
        }

    private:
        Parser& parser_;
    };

    // Declares `name` for the expressions after it; a second declaration of
    // a name is an error, except of a function (its overloads).
    bool Declare(const Token& name, Symbol symbol)
    {
        bool added = false;
        const uint32_t index = symbolIndex_.Insert(name.text, static_cast<uint32_t>(symbols_.size()), added);
        if (!added) {
            if (symbol.kind == ExpressionName::Kind::Function &&
                symbols_[index].kind == ExpressionName::Kind::Function)
                return true;
            return Fail(name, 3003, "redefinition of '" + std::string(name.text) + "'");
        }
        symbols_.push_back(std::move(symbol));
        return true;
    }

    bool ExpressionFailed(const ExpressionError& error)
    {
        if (failed_ || closing_)
            return Fail(Peek(), 3000, "");
        Token at;
        at.line = error.line;
        at.column = error.column;
        at.file = error.file;
        return Fail(at, error.code, error.text);
    }

    static ValueShape ShapeOf(const TypeInfo& type, uint32_t arraySize)
    {
        ValueShape shape;
        shape.base = type.base;
        shape.rows = type.rows;
        shape.columns = type.columns;
        shape.matrix = type.matrix;
        shape.arraySize = arraySize;
        return shape;
    }

    // A value the effect needs now: an array size, an annotation, the
    // initial value of a parameter. `what` names it for the error of one
    // that names a parameter.
    bool ConstantValue(const Expression& program, const Token& at, const std::string& what, ExpressionValue& value)
    {
        if (program.NamesParameters()) {
            const std::vector<uint32_t>& named = program.Parameters();
            std::string names;
            for (size_t i = 0; i < named.size(); ++i)
                names += std::string(i == 0 ? "'" : i + 1 == named.size() ? " and '" : ", '") +
                         parameters_[named[i]].name + "'";
            const bool one = named.size() == 1;
            return Fail(at, 3011, what + " names the parameter" + (one ? " " : "s ") + names +
                                      (one ? ": its value is" : ": their values are") +
                                      " not known when the effect is compiled");
        }
        ExpressionError error;
        if (!FoldExpression(program, budget_, value, error, at))
            return ExpressionFailed(error);
        return true;
    }

    // `[size]` after a name, read from the '['; `unsized` for `[]`.
    bool ArraySize(uint32_t& size, bool& unsized)
    {
        Next(); // '['
        unsized = IsSymbol(Peek(), ']');
        if (unsized) {
            Next();
            return true;
        }
        const Token sizeToken = Peek();
        Tokens tokens(*this);
        Names names(*this);
        Expression program;
        ExpressionError error;
        ExpressionValue value;
        if (!CompileExpression(tokens, names, budget_, program, error))
            return ExpressionFailed(error);
        if (!ConstantValue(program, sizeToken, "the array size", value))
            return false;
        const double v = value.components.empty() ? 0 : value.components[0];
        if (value.components.size() != 1 || !(v >= 1) || v > double(kMaxEffectArraySize) || v != std::floor(v))
            return Fail(sizeToken, 3005, "invalid array size");
        size = static_cast<uint32_t>(v);
        if (!Expect(']'))
            return false;
        if (IsSymbol(Peek(), '['))
            return Fail(Peek(), 3005, "arrays of arrays are not supported");
        return true;
    }

    // The initial value of a variable or annotation of `shape` (its size
    // taken from the values for an unsized array).
    bool InitialValue(const ValueShape& shape, Expression& program)
    {
        Tokens tokens(*this);
        Names names(*this);
        ExpressionError error;
        if (!CompileInitializer(tokens, names, budget_, shape, program, error))
            return ExpressionFailed(error);
        return true;
    }

    bool StringValue(std::string& value)
    {
        if (Peek().kind != TokenKind::String)
            return Fail(Peek(), 3000, "string constant expected");
        while (Peek().kind == TokenKind::String) {
            std::string_view raw = Next().text;
            raw = raw.substr(1, raw.size() - 2);
            for (size_t k = 0; k < raw.size(); ++k) {
                char c = raw[k];
                if (c == '\\' && k + 1 < raw.size()) {
                    char e = raw[++k];
                    c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
                }
                value += c;
            }
        }
        return true;
    }

    // ---- Annotations and states ----

    bool Annotations(std::vector<EffectAnnotation>& list)
    {
        Next();  // '<'
        while (!IsSymbol(Peek(), '>')) {
            EffectAnnotation annotation;
            TypeInfo type;
            const Token typeToken = Peek();
            if (!ParseType(type))
                return false;
            if (type.isVoid || !(IsNumericType(type.type) || type.type == EffectParameterType::String))
                return Fail(typeToken, 3000, "annotations hold numbers or strings");
            annotation.type = std::string(type.written);
            if (!ExpectName(annotation.name))
                return false;
            uint32_t arraySize = 0;
            bool unsized = false;
            if (IsSymbol(Peek(), '[') && !ArraySize(arraySize, unsized))
                return false;
            if (!Expect('='))
                return false;
            const Token valueToken = Peek();
            if (type.type == EffectParameterType::String) {
                if (arraySize != 0 || unsized)
                    return Fail(valueToken, 3000, "a string annotation holds one string");
                if (!StringValue(annotation.text))
                    return false;
            } else {
                Expression program;
                ExpressionValue value;
                if (!InitialValue(ShapeOf(type, unsized ? kUnsizedArray : arraySize), program) ||
                    !ConstantValue(program, valueToken, "the annotation '" + annotation.name + "'", value))
                    return false;
                annotation.values = value.Floats();
            }
            if (!Expect(';'))
                return false;
            list.push_back(std::move(annotation));
        }
        Next();  // '>'
        return true;
    }

    // `Name[index] =` of a state assignment; leaves the parser after the '='.
    // `indexAt` gets the index's token, when one is written.
    bool StateTarget(EffectState& state, Token* indexAt = nullptr)
    {
        if (!ExpectName(state.name))
            return false;
        if (IsSymbol(Peek(), '[')) {
            Next();
            // A constant expression, as the platform's compiler takes it.
            const Token n = Peek();
            Tokens tokens(*this);
            Names names(*this);
            Expression program;
            ExpressionError error;
            ExpressionValue value;
            const std::string what = "the index of state '" + state.name + "'";
            if (!CompileExpression(tokens, names, budget_, program, error))
                return ExpressionFailed(error);
            if (!ConstantValue(program, n, what, value))
                return false;
            if (!program.Shape().IsScalar())
                return Fail(n, 3005, what + " is one number, not '" + ShapeName(program.Shape()) + "'");
            const double v = value.components[0];
            if (v != std::floor(v))
                return Fail(n, 3005, what + " is not a whole number: " + NumberText(v));
            if (!(v >= 0 && v < 65536))
                return Fail(n, 3005, "index " + NumberText(v) + " of state '" + state.name + "' is out of range");
            state.index = static_cast<int32_t>(v);
            if (indexAt)
                *indexAt = n;
            if (!Expect(']'))
                return false;
        }
        return Expect('=');
    }

    // The state `state` names, with its index checked; null after the error.
    const StateInfo* KnownState(const EffectState& state, const Token& nameToken, const Token& indexToken)
    {
        const StateInfo* info = FindEffectState(state.name);
        if (!info) {
            Fail(nameToken, 3004, "unknown state '" + state.name + "'");
            return nullptr;
        }
        const std::string name(info->name);
        if (state.index >= 0 && info->indices == 0) {
            Fail(indexToken, 3005, "state '" + name + "' takes no index");
            return nullptr;
        }
        if (state.index >= 0 && uint32_t(state.index) >= info->indices) {
            Fail(indexToken, 3005,
                 "index " + std::to_string(state.index) + " of state '" + name + "' is out of range (0 to " +
                     std::to_string(info->indices - 1) + ")");
            return nullptr;
        }
        return info;
    }

    // The value of a state that is neither a shader nor a parameter, up to
    // its ';', into `a`, and as written into `written`.
    bool AssignmentValue(const StateInfo& info, StateAssignment& a, std::string& written)
    {
        const Token first = Peek();
        const bool object = info.type == StateType::Texture || info.type == StateType::Sampler;
        if (!(object ? ObjectValue(info, a) : NumberValue(info, a)))
            return false;
        if (!IsSymbol(Peek(), ';'))
            return Unexpected(Peek());
        written = std::string(SourceBetween(first, previous_));
        Next();
        return true;
    }

    // NULL, or a texture or sampler parameter: `t`, `<t>` or `(t)`.
    bool ObjectValue(const StateInfo& info, StateAssignment& a)
    {
        const std::string state(info.name);
        if (IsWordNoCase(Peek(), "null")) {
            Next();
            a.source = StateAssignment::Source::Null;
            return true;
        }
        if (IsWordNoCase(Peek(), "sampler_state"))
            return Fail(Peek(), 3000,
                        "state '" + state + "' cannot take a sampler_state block in a pass: declare a sampler with it");
        const bool angled = IsSymbol(Peek(), '<');
        const bool paren = IsSymbol(Peek(), '(');
        if (angled || paren)
            Next();
        const Token nameToken = Peek();
        if (nameToken.kind != TokenKind::Identifier && nameToken.kind != TokenKind::End)
            return Fail(nameToken, 3017, "state '" + state + "' takes a " +
                                             (info.type == StateType::Texture ? "texture" : "sampler") + ", not '" +
                                             std::string(nameToken.text) + "'");
        std::string name;
        if (!ExpectName(name))
            return false;
        const uint32_t found = parameterNames_.Find(nameToken.text);
        if (found == NameTable::kNone)
            return Fail(nameToken, 3004, "undeclared identifier '" + name + "'");
        const bool texture = info.type == StateType::Texture;
        if (texture ? !IsTextureType(parameters_[found].type) : !IsSamplerType(parameters_[found].type))
            return Fail(nameToken, 3017,
                        "state '" + state + "' takes a " + (texture ? "texture" : "sampler") + ", and '" + name +
                            "' is not one");
        if ((angled && !Expect('>')) || (paren && !Expect(')')))
            return false;
        a.source = StateAssignment::Source::Parameter;
        a.parameter = name;
        return true;
    }

    // A named value (several combined with '|' where the state allows), or an
    // expression.
    bool NumberValue(const StateInfo& info, StateAssignment& a)
    {
        const std::string state(info.name);
        const Token at = Peek();
        // A name may begin with a digit (`VertexBlend = 0Weights;`): it reads as one number token.
        const auto isName = [&](const Token& t) {
            return (t.kind == TokenKind::Identifier || t.kind == TokenKind::Number) &&
                   NamedStateValue(info.values, t.text).has_value();
        };
        const bool named = isName(at);
        const bool combined = StateValuesCombine(info.values) && IsSymbol(Peek(1), '|') &&
                              (named || at.kind == TokenKind::Number);
        if (named || combined) {
            uint32_t value = 0;
            for (;;) {
                const Token t = Peek();
                float number = 0;
                if (isName(t)) {
                    value |= *NamedStateValue(info.values, t.text);
                } else if (t.kind == TokenKind::Identifier) {
                    return Fail(t, 3004, "unknown value '" + std::string(t.text) + "' for state '" + state + "'");
                } else if (t.kind == TokenKind::Number && Number(t, number) && number >= 0 &&
                           number <= 4294967295.0f && number == std::floor(number)) {
                    value |= static_cast<uint32_t>(number);
                } else {
                    return Unexpected(t);
                }
                Next();
                if (!IsSymbol(Peek(), '|'))
                    break;
                if (!StateValuesCombine(info.values))
                    return Fail(Peek(), 3000, "values of state '" + state + "' do not combine with '|'");
                Next();
            }
            const double v = value;
            return Words(info, at, ValueShape(), &v, a);
        }
        // A lone word that names nothing is a value the state does not know.
        if (at.kind == TokenKind::Identifier && IsSymbol(Peek(1), ';') &&
            symbolIndex_.Find(at.text) == NameTable::kNone)
            return Fail(at, 3004, "unknown value '" + std::string(at.text) + "' for state '" + state + "'");
        Tokens tokens(*this);
        Names names(*this);
        Expression program;
        ExpressionError error;
        if (IsSymbol(at, '<')) {
            // `<name>`, `<name[index]>`: a variable or an element of one, up
            // to the '>' outside its brackets.
            Next();
            const Token nameToken = Peek();
            if (nameToken.kind != TokenKind::Identifier)
                return Unexpected(nameToken);
            std::vector<Token> variable;
            int open = 0;
            while (!(open == 0 && IsSymbol(Peek(), '>'))) {
                const Token t = Peek();
                if (t.kind == TokenKind::End || IsSymbol(t, ';'))
                    return Unexpected(t);
                open += IsSymbol(t, '(') || IsSymbol(t, '[') ? 1 : IsSymbol(t, ')') || IsSymbol(t, ']') ? -1 : 0;
                variable.push_back(Next());
            }
            Next(); // '>'
            TokenListReader reader(std::move(variable));
            if (!CompileExpression(reader, names, budget_, program, error))
                return ExpressionFailed(error);
            if (reader.Peek().kind != TokenKind::End)
                return Unexpected(reader.Peek());
        } else if (IsSymbol(at, '{') ? !CompileInitializer(tokens, names, budget_, ListShape(info), program, error)
                                     : !CompileExpression(tokens, names, budget_, program, error)) {
            return ExpressionFailed(error);
        }
        if (!program.NamesParameters()) {
            ExpressionValue value;
            if (!FoldExpression(program, budget_, value, error, at))
                return ExpressionFailed(error);
            return Words(info, at, value.shape, value.components.data(), a);
        }
        // Evaluated when the pass begins; a value of the wrong size is refused now.
        const std::vector<double> zeros(program.Shape().Components(), 0.0);
        if (!Words(info, at, program.Shape(), zeros.data(), a))
            return false;
        a.words.clear();
        a.source = StateAssignment::Source::Expression;
        program.Write(a.expression);
        return true;
    }

    // What a braced list of values is read as for `info`.
    static ValueShape ListShape(const StateInfo& info)
    {
        ValueShape shape;
        switch (info.type) {
        case StateType::Float3: shape.columns = 3; break;
        case StateType::Float4:
        case StateType::Colour: shape.columns = 4; break;
        case StateType::Matrix:
            shape.rows = shape.columns = 4;
            shape.matrix = true;
            break;
        case StateType::Floats: shape.arraySize = kUnsizedArray; break;
        case StateType::Ints:
            shape.base = ValueBase::Int;
            shape.arraySize = kUnsizedArray;
            break;
        case StateType::Bools:
            shape.base = ValueBase::Bool;
            shape.arraySize = kUnsizedArray;
            break;
        case StateType::Bool: shape.base = ValueBase::Bool; break;
        case StateType::Dword:
        case StateType::Int: shape.base = ValueBase::Int; break;
        default: break;
        }
        return shape;
    }

    bool Words(const StateInfo& info, const Token& at, const ValueShape& shape, const double* values,
               StateAssignment& a)
    {
        std::string why;
        if (!StateWords(info, a.index, shape, values, a.words, why))
            return Fail(at, 3017, why);
        a.source = StateAssignment::Source::Constant;
        return true;
    }

    // ---- Top level ----

    bool TopLevel()
    {
        const Token t = Peek();
        if (IsSymbol(t, ';')) {
            Next();
            return true;
        }
        if (IsWordNoCase(t, "technique"))
            return Technique();
        if (IsWordNoCase(t, "technique10") || IsWordNoCase(t, "technique11"))
            return SkipLaterTechnique();
        if (IsWord(t, "struct"))
            return Struct();
        if (IsWord(t, "typedef"))
            return Typedef();
        if (IsWord(t, "cbuffer"))
            return ConstantBuffer();
        return Declaration();
    }

    // `struct S { ... };`, and variables declared with it: `struct S { ... } U;`
    // or, of a struct with no name, `struct { ... } U;`.
    bool Struct()
    {
        const Token first = Next(); // "struct"
        const Token nameToken = Peek();
        const bool unnamed = IsSymbol(nameToken, '{');
        std::string name = "<unnamed>";
        if (!unnamed) {
            if (!ExpectName(name))
                return false;
            if (structNames_.Contains(nameToken.text) || typedefIndex_.Contains(nameToken.text))
                return Fail(nameToken, 3003, "redefinition of '" + name + "'");
        }
        if (!IsSymbol(Peek(), '{'))
            return Unexpected(Peek());
        Token end;
        std::vector<Token> body;
        if (!SkipBalanced(end, nullptr, nullptr, &body))
            return false;
        const bool alone = IsSymbol(Peek(), ';');
        if (unnamed)
            name = "<unnamed" + (unnamedStructs_++ == 0 ? std::string() : " " + std::to_string(unnamedStructs_)) + ">";
        else
            out_.structs.push_back({name, alone ? std::string(SourceBetween(first, Peek()))
                                                : std::string(SourceBetween(first, end)) + ";"});
        structs_.push_back(ReadStructLayout(name, body));
        StructInfo& kept = structs_.back();
        structNames_.Add(kept.type.name, static_cast<uint32_t>(structs_.size() - 1));
        if (kept.why.empty())
            for (size_t m = 0; m < kept.type.members.size(); ++m)
                kept.members.Add(kept.type.members[m].name, static_cast<uint32_t>(m));
        if (failed_)
            return false;
        if (alone) {
            Next();
            return true;
        }
        TypeInfo type;
        type.type = EffectParameterType::Struct;
        type.rows = type.columns = 0;
        type.structName = name;
        return Declarators(type, false, Peek());
    }

    // ---- Struct layouts ----

    // What a part of a struct parameter that `path` names means in an
    // expression: "fog.colour", "lights[1]", "lights[1].range".
    ExpressionName StructPartNamed(std::string_view path) const
    {
        ExpressionName out;
        size_t at = 0;
        while (at < path.size() && path[at] != '.' && path[at] != '[')
            ++at;
        const uint32_t found = symbolIndex_.Find(path.substr(0, at));
        if (found == NameTable::kNone || symbols_[found].kind != ExpressionName::Kind::Struct)
            return out;
        const uint32_t parameter = symbols_[found].parameter;
        const EffectParameter& p = parameters_[parameter];
        uint32_t structIndex = structNames_.Find(p.structName);
        EffectMember part; // what is named so far
        part.type = EffectParameterType::Struct;
        part.arraySize = p.arraySize;
        uint64_t first = 0;
        while (at < path.size()) {
            const uint64_t each = part.type == EffectParameterType::Struct ? structs_[structIndex].floats
                                                                           : uint64_t(part.rows) * part.columns;
            if (path[at] == '[') {
                const size_t close = path.find(']', at);
                float index = -1;
                const std::string_view digits = path.substr(at + 1, close == std::string_view::npos ? 0 : close - at - 1);
                if (close == std::string_view::npos || part.arraySize == 0 || !ParsedNumber(digits, index) ||
                    index < 0 || index >= float(part.arraySize) || index != std::floor(index))
                    return {};
                first += uint64_t(index) * each;
                part.arraySize = 0;
                at = close + 1;
                continue;
            }
            size_t end = at + 1;
            while (end < path.size() && path[end] != '.' && path[end] != '[')
                ++end;
            if (part.type != EffectParameterType::Struct || part.arraySize != 0)
                return {};
            const StructInfo& info = structs_[structIndex];
            const uint32_t member = info.members.Find(path.substr(at + 1, end - at - 1));
            if (member == NameTable::kNone)
                return {};
            first += info.firsts[member];
            part = info.type.members[member];
            if (part.type == EffectParameterType::Struct)
                structIndex = structNames_.Find(part.structName);
            at = end;
        }
        out.parameter = parameter;
        out.first = static_cast<uint32_t>(first);
        if (part.type == EffectParameterType::Struct) {
            out.kind = ExpressionName::Kind::Struct;
            out.shape.arraySize = part.arraySize;
            return out;
        }
        out.kind = ExpressionName::Kind::Parameter;
        out.shape.base = part.type == EffectParameterType::Bool  ? ValueBase::Bool
                         : part.type == EffectParameterType::Int ? ValueBase::Int
                                                                 : ValueBase::Float;
        out.shape.rows = part.rows;
        out.shape.columns = part.columns;
        out.shape.matrix = part.rows > 1;
        out.shape.arraySize = part.arraySize;
        return out;
    }

    // The struct a type name names (itself or through a typedef), or kNone.
    uint32_t StructNamed(const Token& t) const
    {
        if (t.kind != TokenKind::Identifier)
            return NameTable::kNone;
        if (const uint32_t found = typedefIndex_.Find(t.text); found != NameTable::kNone)
            return typedefs_[found].type == EffectParameterType::Struct ? structNames_.Find(typedefs_[found].structName)
                                                                         : NameTable::kNone;
        return structNames_.Find(t.text);
    }

    // A whole number written in decimal, as a path's index.
    static bool ParsedNumber(std::string_view text, float& value)
    {
        if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        value = float(std::stoul(std::string(text)));
        return true;
    }

    // The members' initial values as their types keep them: bools 0 or 1,
    // ints whole.
    void ConvertStructDefaults()
    {
        StructLayouts layouts;
        if (!layouts.Build(out_.structTypes).empty())
            return; // the description's check says what is wrong
        for (EffectParameter& p : out_.parameters) {
            if (p.type != EffectParameterType::Struct)
                continue;
            const uint32_t type = layouts.Find(p.structName);
            if (type == StructLayouts::kNone || p.defaults.size() != uint64_t(layouts.Floats(type)) * p.Elements())
                continue;
            layouts.ForEachLeaf(type, 0, p.Elements(), [&](uint64_t first, const EffectMember& m) {
                const uint64_t count = uint64_t(m.rows) * m.columns * (m.arraySize == 0 ? 1 : m.arraySize);
                for (uint64_t k = first; k < first + count; ++k)
                    p.defaults[k] = m.type == EffectParameterType::Bool  ? (p.defaults[k] != 0.0f ? 1.0f : 0.0f)
                                    : m.type == EffectParameterType::Int ? std::trunc(p.defaults[k])
                                                                          : p.defaults[k];
            });
        }
    }

    // What a struct's members hold, as a parameter of it keeps them; or why
    // no parameter can be of it (its members are still the shaders' to read).
    struct StructInfo {
        EffectStructType type;
        uint64_t floats = 0; // an element's
        uint32_t depth = 1;  // of structs within structs
        std::string why;     // "" when parameters can be of it
        bool laidOut = false; // in the description's struct types
        std::vector<uint64_t> firsts; // by member: where its values begin in an element
        NameTable members;            // by name, into type.members (once it is kept)
    };

    StructInfo ReadStructLayout(const std::string& name, const std::vector<Token>& body)
    {
        StructInfo info;
        info.type.name = name;
        NameTable names;
        size_t at = 0;
        while (at < body.size() && info.why.empty()) {
            size_t end = at;
            while (end < body.size() && !IsSymbol(body[end], ';'))
                ++end;
            if (end == body.size()) {
                info.why = "its members are not all ended by ';'";
                break;
            }
            if (end > at)
                ReadMembers(body, at, end, info);
            at = end + 1;
        }
        if (info.why.empty() && info.floats == 0)
            info.why = "it holds no values";
        if (info.why.empty())
            for (const EffectMember& m : info.type.members)
                if (!names.Add(m.name)) {
                    info.why = "it has two members named '" + m.name + "'";
                    break;
                }
        return info;
    }

    // One member declaration, tokens [at, end) of `body`: its modifiers,
    // type and names, each with its array size and semantics.
    void ReadMembers(const std::vector<Token>& body, size_t at, size_t end, StructInfo& info)
    {
        static const std::set<std::string_view> kModifiers = {
            "linear", "centroid", "nointerpolation", "noperspective", "sample", "row_major",
            "column_major", "const", "uniform", "precise", "snorm", "unorm"};
        while (at < end && body[at].kind == TokenKind::Identifier && kModifiers.count(body[at].text))
            ++at;
        if (at == end) {
            info.why = "a member declaration has no type";
            return;
        }
        EffectMember type;
        uint32_t depth = 0; // of the structs the member holds
        if (!MemberType(body, at, end, type, depth, info.why))
            return;
        info.depth = std::max(info.depth, depth + 1);
        if (info.depth > kMaxStructNesting) {
            info.why = "it holds structs more than " + std::to_string(kMaxStructNesting) + " deep";
            return;
        }
        for (;;) {
            if (at == end || body[at].kind != TokenKind::Identifier) {
                info.why = "a member declaration has no name";
                return;
            }
            EffectMember member = type;
            member.name = std::string(body[at++].text);
            if (at < end && IsSymbol(body[at], '[') && !MemberArraySize(body, at, end, member, info.why))
                return;
            while (at + 1 < end && IsSymbol(body[at], ':') && body[at + 1].kind == TokenKind::Identifier)
                at += 2;
            const uint64_t each = type.type == EffectParameterType::Struct
                                      ? structs_[structNames_.Find(type.structName)].floats
                                      : uint64_t(type.rows) * type.columns;
            info.firsts.push_back(info.floats);
            info.floats += each * (member.arraySize == 0 ? 1 : member.arraySize);
            if (info.floats > kMaxEffectParameterFloats) {
                info.why = "it holds too many values";
                return;
            }
            info.type.members.push_back(std::move(member));
            if (at == end)
                return;
            if (!IsSymbol(body[at], ',')) {
                info.why = "a member declaration is not read past '" + std::string(body[at].text) + "'";
                return;
            }
            ++at;
        }
    }

    // The type a member declaration starts with, read from body[at]: a
    // numeric type or a struct parameters can be of.
    bool MemberType(const std::vector<Token>& body, size_t& at, size_t end, EffectMember& out, uint32_t& depth,
                    std::string& why)
    {
        const Token& t = body[at++];
        out.rows = out.columns = 1;
        ValueShape shape;
        if ((t.text == "vector" || t.text == "matrix") && at < end && IsSymbol(body[at], '<')) {
            // vector<base, n> and matrix<base, rows, columns>
            const bool matrix = t.text == "matrix";
            const size_t count = matrix ? 7 : 5;
            auto digit = [&](size_t k) {
                return body[k].kind == TokenKind::Number && body[k].text.size() == 1 && body[k].text[0] >= '1' &&
                       body[k].text[0] <= '4';
            };
            if (at + count > end || !BuiltInShape(body[at + 1].text, shape) || shape.ElementComponents() != 1 ||
                !IsSymbol(body[at + 2], ',') || !digit(at + 3) || !IsSymbol(body[at + count - 1], '>') ||
                (matrix && (!IsSymbol(body[at + 4], ',') || !digit(at + 5)))) {
                why = "a member's type '" + std::string(t.text) + "<...>' is not read";
                return false;
            }
            out.rows = matrix ? uint8_t(body[at + 3].text[0] - '0') : 1;
            out.columns = uint8_t(body[at + count - 2].text[0] - '0');
            at += count;
        } else if (BuiltInShape(t.text, shape)) {
            out.rows = shape.rows;
            out.columns = shape.columns;
        } else if (const uint32_t found = typedefIndex_.Find(t.text); found != NameTable::kNone) {
            const TypeInfo& named = typedefs_[found];
            if (named.type == EffectParameterType::Struct)
                return StructMember(named.structName, out, depth, why);
            if (named.isVoid || !IsNumericType(named.type)) {
                why = "its member's type '" + std::string(t.text) + "' holds no numbers";
                return false;
            }
            out.type = named.type;
            out.rows = named.rows;
            out.columns = named.columns;
            return true;
        } else if (structNames_.Contains(t.text)) {
            return StructMember(std::string(t.text), out, depth, why);
        } else {
            why = "its member's type '" + std::string(t.text) + "' holds no numbers";
            return false;
        }
        out.type = shape.base == ValueBase::Bool ? EffectParameterType::Bool
                   : shape.base == ValueBase::Float ? EffectParameterType::Float
                                                     : EffectParameterType::Int;
        return true;
    }

    bool StructMember(const std::string& structName, EffectMember& out, uint32_t& depth, std::string& why)
    {
        const StructInfo& inner = structs_[structNames_.Find(structName)];
        if (!inner.why.empty()) {
            why = "its member of struct '" + structName + "' cannot be: " + inner.why;
            return false;
        }
        out.type = EffectParameterType::Struct;
        out.rows = out.columns = 0;
        out.structName = structName;
        depth = inner.depth;
        return true;
    }

    // `[size]` of a member, read from body[at], a constant of the effect.
    bool MemberArraySize(const std::vector<Token>& body, size_t& at, size_t end, EffectMember& member,
                         std::string& why)
    {
        size_t close = at + 1;
        for (int depth = 1; close < end; ++close) {
            depth += IsSymbol(body[close], '[') ? 1 : IsSymbol(body[close], ']') ? -1 : 0;
            if (depth == 0)
                break;
        }
        if (close >= end || close == at + 1) {
            why = "the array size of its member '" + member.name + "' is not read";
            return false;
        }
        TokenListReader tokens(std::vector<Token>(body.begin() + long(at + 1), body.begin() + long(close)));
        Names names(*this);
        Expression program;
        ExpressionError error;
        ExpressionValue value;
        const Token sizeToken = body[at + 1];
        if (!CompileExpression(tokens, names, budget_, program, error) || tokens.Peek().kind != TokenKind::End ||
            program.NamesParameters() || !FoldExpression(program, budget_, value, error, sizeToken)) {
            why = "the array size of its member '" + member.name + "' is not a constant";
            return false;
        }
        const double v = value.components.size() == 1 ? value.components[0] : 0;
        if (!(v >= 1) || v > double(kMaxEffectArraySize) || v != std::floor(v)) {
            why = "the array size of its member '" + member.name + "' is invalid";
            return false;
        }
        member.arraySize = static_cast<uint32_t>(v);
        at = close + 1;
        if (at < end && IsSymbol(body[at], '[')) {
            why = "its member '" + member.name + "' is an array of arrays";
            return false;
        }
        return true;
    }

    // The struct types of a parameter of `structIndex` in the description,
    // those it holds first.
    void LayOut(uint32_t structIndex)
    {
        StructInfo& info = structs_[structIndex];
        if (info.laidOut)
            return;
        for (const EffectMember& m : info.type.members)
            if (m.type == EffectParameterType::Struct)
                LayOut(structNames_.Find(m.structName));
        info.laidOut = true;
        out_.structTypes.push_back(info.type);
    }

    // `typedef [const] type Name, Other;`: names for a type declared before.
    bool Typedef()
    {
        Next(); // "typedef"
        if (IsWord(Peek(), "const"))
            Next();
        if (IsWord(Peek(), "struct"))
            return Fail(Peek(), 3000, "syntax error: a typedef names a type declared before it, not a struct");
        TypeInfo type;
        if (!ParseType(type))
            return false;
        for (;;) {
            const Token nameToken = Peek();
            std::string name;
            if (!ExpectName(name))
                return false;
            if (IsSymbol(Peek(), '['))
                return Fail(Peek(), 3000, "syntax error: a typedef of an array is not supported");
            if (structNames_.Contains(nameToken.text) ||
                !typedefIndex_.Add(nameToken.text, static_cast<uint32_t>(typedefs_.size())))
                return Fail(nameToken, 3003, "redefinition of '" + name + "'");
            TypeInfo named = type;
            named.written = nameToken.text;
            typedefs_.push_back(named);
            if (!type.isVoid && IsNumericType(type.type)) {
                Symbol symbol;
                symbol.kind = ExpressionName::Kind::Type;
                symbol.shape = ShapeOf(type, 0);
                if (!Declare(nameToken, std::move(symbol)))
                    return false;
            }
            if (IsSymbol(Peek(), ';')) {
                Next();
                return true;
            }
            if (!Expect(','))
                return false;
        }
    }

    // `cbuffer C [: register(b0)] { declarations }`: under fx_2_0 its members
    // are parameters of the effect like any other.
    bool ConstantBuffer()
    {
        Next(); // "cbuffer"
        std::string name;
        if (!ExpectName(name))
            return false;
        while (IsSymbol(Peek(), ':')) {
            Next();
            if (!IsWord(Peek(), "register"))
                return Unexpected(Peek());
            Next();
            Token end;
            if (!IsSymbol(Peek(), '(') || !SkipBalanced(end))
                return Unexpected(Peek());
        }
        const Token open = Peek();
        if (!Expect('{'))
            return false;
        while (!IsSymbol(Peek(), '}')) {
            if (Peek().kind == TokenKind::End)
                return Fail(open, 3000, "syntax error: '{' has no matching '}'");
            if (IsSymbol(Peek(), ';')) {
                Next();
                continue;
            }
            if (!Declaration())
                return false;
        }
        Next();
        return true;
    }

    bool Declaration()
    {
        const Token first = Peek();
        bool isStatic = false;
        while (Peek().kind == TokenKind::Identifier &&
               IsHlslModifier(Peek().text, kModifiesGlobal | kModifiesFunction)) {
            isStatic = isStatic || Peek().text == "static";
            Next();
        }
        if (IsWordNoCase(Peek(), "vertexshader") || IsWordNoCase(Peek(), "pixelshader"))
            return ShaderDeclaration(IsWordNoCase(Peek(), "vertexshader"));
        TypeInfo type;
        if (!ParseType(type))
            return false;
        Token nameToken = Peek();
        std::string name;
        if (!ExpectName(name))
            return false;
        if (IsSymbol(Peek(), '('))
            return Function(first, nameToken);
        if (type.isVoid)
            return Fail(nameToken, 3000, "a variable cannot be void");
        return Declarators(type, isStatic, nameToken, &name);
    }

    // What the text from `first` to `last` calls and reads of the effect's.
    struct Uses {
        bool functions = false; // calls a function of the effect
        bool assigned = false;  // reads a static the shaders give its value at their entry point
    };
    Uses UsesOf(const Token& first, const Token& last) const
    {
        Uses uses;
        const std::vector<Token> tokens =
            Tokenize(text_.substr(first.offset, last.offset + last.text.size() - first.offset));
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (tokens[i].kind != TokenKind::Identifier || (i > 0 && tokens[i - 1].Is('.')))
                continue;
            const uint32_t found = symbolIndex_.Find(tokens[i].text);
            if (found == NameTable::kNone)
                continue;
            const Symbol& symbol = symbols_[found];
            uses.functions = uses.functions ||
                             (symbol.kind == ExpressionName::Kind::Function && i + 1 < tokens.size() && tokens[i + 1].Is('('));
            uses.assigned = uses.assigned || symbol.assignedAtEntry;
        }
        return uses;
    }

    // Whether the static `name`, whose value is not known before a pass
    // begins, is given it at the start of the shaders' entry point rather
    // than in its declaration, which ends at the token read last: the shader
    // compiler charges the calls of a global's initializer to the function
    // defined before it and fails, and what reads such a static must follow it.
    bool AssignAtEntry(Symbol& symbol, const std::string& name, const Token& value)
    {
        if (!assigned_)
            return false;
        const Uses uses = UsesOf(value, previous_);
        if (!uses.functions && !uses.assigned)
            return false;
        symbol.assignedAtEntry = true;
        assigned_->push_back(name);
        return true;
    }

    // The names a declaration declares, to its ';'; `name` is the first,
    // already read, or the next token.
    bool Declarators(const TypeInfo& type, bool isStatic, Token nameToken, std::string* read = nullptr)
    {
        std::string name = read ? *read : std::string();
        if (!read && !ExpectName(name))
            return false;
        for (;;) {
            if (!Variable(type, isStatic, name, nameToken))
                return false;
            if (IsSymbol(Peek(), ';')) {
                Next();
                return true;
            }
            if (!Expect(','))
                return false;
            nameToken = Peek();
            if (!ExpectName(name))
                return false;
        }
    }

    bool Function(const Token& first, const Token& nameToken)
    {
        Token end;
        if (!SkipBalanced(end))  // the parameter list
            return false;
        while (IsSymbol(Peek(), ':')) {
            Next();
            std::string semantic;
            if (!ExpectName(semantic))
                return false;
        }
        if (IsSymbol(Peek(), ';')) {  // a declaration only
            Next();
            return true;
        }
        if (!IsSymbol(Peek(), '{'))
            return Unexpected(Peek());
        if (!SkipBalanced(end))
            return false;
        functions_.Add(nameToken.text);
        Symbol symbol;
        symbol.kind = ExpressionName::Kind::Function;
        symbol.text = SourceBetween(first, end);
        symbol.at = first;
        if (!Declare(nameToken, std::move(symbol)))
            return false;
        out_.functions.push_back({std::string(nameToken.text), std::string(SourceBetween(first, end))});
        return true;
    }

    bool Variable(const TypeInfo& type, bool isStatic, const std::string& name, const Token& nameToken)
    {
        EffectParameter p;
        p.name = name;
        p.type = type.type;
        p.rows = type.rows;
        p.columns = type.columns;
        p.structName = type.structName;
        bool unsized = false;
        if (IsSymbol(Peek(), '[') && !ArraySize(p.arraySize, unsized))
            return false;
        const Token sizeClose = previous_; // an unsized array's ']'
        // A struct parameter keeps the values of its members, which must be numbers.
        const uint32_t structIndex = structNames_.Find(p.structName);
        const bool structParameter = p.type == EffectParameterType::Struct && !isStatic;
        if (structParameter && !structs_[structIndex].why.empty())
            return Fail(nameToken, 3000, "'" + name + "': a parameter of struct '" + p.structName +
                                             "' is not taken here: " + structs_[structIndex].why);
        if (!unsized && !Fits(p, isStatic, nameToken))
            return false;
        while (IsSymbol(Peek(), ':')) {
            Next();
            if (IsWord(Peek(), "register")) {
                Next();
                if (!IsSymbol(Peek(), '('))
                    return Unexpected(Peek());
                // `register(s3)` or `register(ps_3_0, s3)`: a sampler's unit.
                const Token open = Next();
                for (int depth = 1; depth > 0; Next()) {
                    const Token t = Peek();
                    if (t.kind == TokenKind::End)
                        return Fail(open, 3000, "syntax error: '(' has no matching ')'");
                    depth += t.Is('(') ? 1 : t.Is(')') ? -1 : 0;
                    if (depth == 1 && t.kind == TokenKind::Identifier && IsSamplerType(p.type) &&
                        !SamplerRegister(t.text, p.samplerRegister))
                        return Fail(t, 3530, "invalid register '" + std::string(t.text) + "': a sampler takes s0 to s" +
                                                 std::to_string(kMaxSamplerRegister));
                }
                continue;
            }
            if (!ExpectName(p.semantic))
                return false;
        }
        if (IsSymbol(Peek(), '<') && !Annotations(p.annotations))
            return false;
        Symbol symbol;
        const bool numeric = IsNumericType(p.type);
        if (IsSymbol(Peek(), '=')) {
            Next();
            const Token valueToken = Peek();
            if (IsSamplerType(p.type)) {
                if (!SamplerState(p))
                    return false;
            } else if (p.type == EffectParameterType::String) {
                if (!StringValue(p.stringDefault))
                    return false;
            } else if (IsTextureType(p.type)) {
                return Fail(valueToken, 3000, "a texture cannot have an initial value");
            } else if (structParameter) {
                if (!StructInitialValue(p, unsized, valueToken, structs_[structIndex]))
                    return false;
                unsized = false;
            } else if (p.type == EffectParameterType::Struct) {
                if (!IsSymbol(valueToken, '{'))
                    return Unexpected(valueToken);
                Token end;
                if (!SkipBalanced(end))
                    return false;
                AssignAtEntry(symbol, name, valueToken);
            } else {
                Expression program;
                if (!InitialValue(ShapeOf(type, unsized ? kUnsizedArray : p.arraySize), program))
                    return false;
                if (isStatic && program.NamesParameters()) {
                    // Its value follows the parameters it names.
                    symbol.kind = ExpressionName::Kind::Derived;
                    symbol.shape = program.Shape();
                    symbol.program = std::move(program);
                    // Its declaration, left without a value, states its size.
                    if (AssignAtEntry(symbol, name, valueToken) && unsized && folded_) {
                        ExpressionValue size;
                        size.shape.base = ValueBase::Int;
                        size.components = {double(symbol.shape.arraySize)};
                        folded_->push_back({sizeClose.offset, sizeClose.offset, std::move(size)});
                    }
                } else {
                    if (!ConstantValue(program, valueToken, "the initial value of '" + name + "'", symbol.value))
                        return false;
                    symbol.kind = ExpressionName::Kind::Constant;
                    if (folded_ && UsesOf(valueToken, previous_).functions)
                        folded_->push_back({valueToken.offset, previous_.offset + previous_.text.size(), symbol.value});
                    p.arraySize = unsized ? symbol.value.shape.arraySize : p.arraySize;
                    p.defaults = symbol.value.Floats();
                }
            }
        }
        if (unsized) {
            if (symbol.kind == ExpressionName::Kind::Unknown)
                return Fail(nameToken, 3074, "'" + name + "': an array of unstated size takes its size from an initial value");
            if (symbol.kind == ExpressionName::Kind::Derived)
                p.arraySize = symbol.shape.arraySize;
            if (!Fits(p, isStatic, nameToken))
                return false;
        }
        const uint64_t floats = ValuesOf(p, isStatic);
        if (isStatic) {
            // Statics belong to the shaders, not to the parameter table; the
            // expressions after them read their values.
            if (numeric && symbol.kind == ExpressionName::Kind::Unknown) {
                symbol.kind = ExpressionName::Kind::Constant;
                symbol.value.shape = ShapeOf(type, p.arraySize);
                symbol.value.components.assign(floats, 0.0);
            } else if (!numeric) {
                symbol.kind = ExpressionName::Kind::Refused;
                symbol.why = "'" + name + "' is not a number: it has no constant value";
            }
            return Declare(nameToken, std::move(symbol));
        }
        if (p.defaults.empty())
            p.defaults.assign(floats, 0.0f);
        if (FindShaderVariable(nameToken.text) ||
            !parameterNames_.Add(nameToken.text, static_cast<uint32_t>(parameters_.size())))
            return Fail(nameToken, 3003, "redefinition of '" + name + "'");
        symbol = Symbol();
        if (numeric) {
            symbol.kind = ExpressionName::Kind::Parameter;
            symbol.parameter = static_cast<uint32_t>(parameters_.size());
            symbol.shape = ShapeOf(type, p.arraySize);
        } else if (structParameter) {
            symbol.kind = ExpressionName::Kind::Struct;
            symbol.parameter = static_cast<uint32_t>(parameters_.size());
        } else {
            symbol.kind = ExpressionName::Kind::Refused;
            symbol.why = "'" + name + "' is not a number: it has no value in an expression";
        }
        if (!Declare(nameToken, std::move(symbol)))
            return false;
        if (structParameter)
            LayOut(structIndex);
        parameterFloats_ += floats;
        parameters_.push_back(std::move(p));
        return true;
    }

    // The values a variable holds: a static struct's are the shaders' alone.
    uint64_t ValuesOf(const EffectParameter& p, bool isStatic) const
    {
        uint64_t each = p.FloatsPerElement();
        if (p.type == EffectParameterType::Struct && !isStatic)
            each = structs_[structNames_.Find(p.structName)].floats;
        return each * p.Elements();
    }

    // A struct parameter's initial value: numbers for its members in turn,
    // element after element, in a list that may nest and hold vectors and
    // matrices, flattened. Of an array of unstated size, whole elements.
    bool StructInitialValue(EffectParameter& p, bool unsized, const Token& valueToken, const StructInfo& info)
    {
        ValueShape shape;
        shape.arraySize = kUnsizedArray;
        if (!unsized) {
            const uint64_t values = info.floats * p.Elements();
            if (values > kMaxExpressionArraySize)
                return Fail(valueToken, 3005, "the initial value of '" + p.name + "' would give " +
                                                  std::to_string(values) + " values, more than the " +
                                                  std::to_string(kMaxExpressionArraySize) + " one initial value may");
            shape.arraySize = static_cast<uint32_t>(values);
        }
        Expression program;
        ExpressionValue value;
        if (IsSymbol(valueToken, '(') && StructNamed(Peek(1)) == structNames_.Find(p.structName)) {
            // `(Light)0`: every value of it one number.
            Next();
            Next();
            if (!Expect(')'))
                return false;
            Tokens tokens(*this);
            Names names(*this);
            ExpressionError error;
            const Token numberToken = Peek();
            if (!CompileExpression(tokens, names, budget_, program, error, false))
                return ExpressionFailed(error);
            if (!ConstantValue(program, numberToken, "the initial value of '" + p.name + "'", value))
                return false;
            if (unsized || value.components.size() != 1)
                return Fail(numberToken, 3017, "'" + p.name + "': a cast to struct '" + p.structName +
                                                   "' takes one number for every value" +
                                                   (unsized ? ", and gives an array no size" : ""));
            p.defaults.assign(info.floats * p.Elements(), value.Floats()[0]);
            return true;
        }
        if (!InitialValue(shape, program) ||
            !ConstantValue(program, valueToken, "the initial value of '" + p.name + "'", value))
            return false;
        if (unsized) {
            const uint64_t given = value.shape.Elements();
            if (given % info.floats != 0)
                return Fail(valueToken, 3017, "the initial value of '" + p.name + "' gives " + std::to_string(given) +
                                                  " values, not whole elements of '" + p.structName + "' (" +
                                                  std::to_string(info.floats) + " values each)");
            p.arraySize = static_cast<uint32_t>(given / info.floats);
            if (!Fits(p, false, valueToken))
                return false;
        }
        p.defaults = value.Floats();
        return true;
    }

    // Whether a variable's values are within the bounds: of one, and of the
    // parameter table, kept as it fills so that no declaration after it
    // costs its values' memory.
    bool Fits(const EffectParameter& p, bool isStatic, const Token& nameToken)
    {
        const uint64_t floats = ValuesOf(p, isStatic);
        if (floats > kMaxEffectParameterFloats)
            return Fail(nameToken, 3005, "'" + p.name + "' is too large");
        if (!isStatic && parameterFloats_ + floats > kMaxEffectParameterFloats)
            return Fail(nameToken, 3005, "the parameters hold too many values");
        return true;
    }

    // The number of a sampler register named `sN`, when `word` is one; false
    // for one past the last.
    static bool SamplerRegister(std::string_view word, int32_t& out)
    {
        if (word.size() < 2 || (word[0] != 's' && word[0] != 'S'))
            return true;
        uint64_t n = 0;
        for (char c : word.substr(1)) {
            if (c < '0' || c > '9')
                return true;
            n = std::min<uint64_t>(n * 10 + uint64_t(c - '0'), 1u << 20);
        }
        if (n > kMaxSamplerRegister)
            return false;
        out = static_cast<int32_t>(n);
        return true;
    }

    bool SamplerState(EffectParameter& p)
    {
        if (!IsWordNoCase(Peek(), "sampler_state"))
            return Fail(Peek(), 3000, "sampler_state expected");
        Next();
        if (!Expect('{'))
            return false;
        while (!IsSymbol(Peek(), '}')) {
            EffectState state;
            const Token nameToken = Peek();
            Token indexToken;
            if (!StateTarget(state, &indexToken))
                return false;
            if (Lower(state.name) == "texture" && state.index < 0) {
                bool angled = IsSymbol(Peek(), '<');
                bool paren = IsSymbol(Peek(), '(');
                if (angled || paren)
                    Next();
                const Token textureToken = Peek();
                std::string texture;
                if (!ExpectName(texture))
                    return false;
                if ((angled && !Expect('>')) || (paren && !Expect(')')) || !Expect(';'))
                    return false;
                const uint32_t found = parameterNames_.Find(textureToken.text);
                if (found == NameTable::kNone || !IsTextureType(parameters_[found].type))
                    return Fail(textureToken, 3004, "undeclared texture '" + texture + "'");
                p.samplerTexture = texture;
                continue;
            }
            const StateInfo* info = FindEffectState(state.name);
            if (!info)
                return Fail(nameToken, 3004, "unknown state '" + state.name + "'");
            if (info->group != StateGroup::Sampler)
                return Fail(nameToken, 3004, "'" + state.name + "' is not a sampler state");
            if (state.index >= 0)
                return Fail(indexToken, 3005, "a sampler_state block takes its states without an index");
            StateAssignment assignment;
            assignment.group = info->group;
            assignment.number = info->number;
            if (!AssignmentValue(*info, assignment, state.value))
                return false;
            p.samplerStates.push_back(std::move(state));
            p.samplerAssignments.push_back(std::move(assignment));
        }
        Next();
        return true;
    }

    static bool ValidProfile(std::string_view profile, bool vertex)
    {
        static const std::set<std::string_view> vs = {"vs_1_1", "vs_2_0", "vs_2_a", "vs_2_sw",
                                                      "vs_3_0", "vs_3_sw"};
        static const std::set<std::string_view> ps = {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4",
                                                      "ps_2_0", "ps_2_a", "ps_2_b", "ps_2_sw",
                                                      "ps_3_0", "ps_3_sw"};
        return vertex ? vs.count(profile) > 0 : ps.count(profile) > 0;
    }

    // `compile profile entry(arguments)` for the vertex or pixel stage; leaves
    // the parser after the arguments.
    bool CompileShader(bool vertex, const std::string& stateName, EffectShader& shader)
    {
        Next(); // "compile"
        const Token profileToken = Peek();
        if (!ExpectName(shader.profile))
            return false;
        if (!ValidProfile(shader.profile, vertex))
            return Fail(profileToken, 3007, "invalid target '" + shader.profile + "' for " + stateName);
        const Token entryToken = Peek();
        if (!ExpectName(shader.entry))
            return false;
        if (!functions_.Contains(entryToken.text))
            return Fail(entryToken, 3004, "undeclared identifier '" + shader.entry + "'");
        if (!IsSymbol(Peek(), '('))
            return Unexpected(Peek());
        Token close, first, last;
        if (!SkipBalanced(close, &first, &last))
            return false;
        if (first.offset != close.offset)
            shader.arguments = std::string(SourceBetween(first, last));
        return true;
    }

    // A compiled shader, NULL, or an assembly block (refused, naming `owner`).
    bool ShaderElement(bool vertex, const std::string& stateName, const std::string& owner, EffectShader& shader)
    {
        if (IsWordNoCase(Peek(), "compile"))
            return CompileShader(vertex, stateName, shader);
        if (IsWordNoCase(Peek(), "asm"))
            return Fail(Peek(), 3000,
                        owner + ": assembly shaders (asm { ... }) are not supported; compile the shader from HLSL");
        if (IsWordNoCase(Peek(), "null")) {
            Next();
            shader = EffectShader();
            return true;
        }
        return Unexpected(Peek());
    }

    // `VertexShader = ...;` or `PixelShader = ...;` of a pass: a compiled
    // shader, NULL, or a shader variable (`p`, `(p)`, `<p>`), an element of an
    // array of them taken by a constant index or by an index of parameters.
    bool ShaderState(const StateInfo& info, const std::string& owner, EffectPass& pass)
    {
        const bool vertex = info.group == StateGroup::VertexShader;
        const std::string state(info.name);
        EffectShader& shader = vertex ? pass.vertexShader : pass.pixelShader;
        EffectShaderChoice& choice = vertex ? pass.vertexChoice : pass.pixelChoice;
        choice = EffectShaderChoice();
        shader = EffectShader();
        const Token at = Peek();
        if (IsWordNoCase(at, "compile") || IsWordNoCase(at, "asm") || IsWordNoCase(at, "null")) {
            if (!ShaderElement(vertex, state, owner, shader))
                return false;
            lastValueToken_ = previous_;
            return Expect(';');
        }
        const bool angled = IsSymbol(Peek(), '<');
        const bool paren = IsSymbol(Peek(), '(');
        if (angled || paren)
            Next();
        const Token nameToken = Peek();
        if (nameToken.kind != TokenKind::Identifier && nameToken.kind != TokenKind::End)
            return Fail(nameToken, 3017, "state '" + state + "' takes a shader, not '" + std::string(nameToken.text) + "'");
        std::string name;
        if (!ExpectName(name))
            return false;
        const ShaderVariable* variable = FindShaderVariable(nameToken.text);
        if (!variable) {
            if (nameToken.kind == TokenKind::Identifier && parameterNames_.Find(nameToken.text) == NameTable::kNone)
                return Fail(nameToken, 3004, "undeclared identifier '" + name + "'");
            return Fail(nameToken, 3017, "state '" + state + "' takes a shader, and '" + name + "' is not one");
        }
        if (variable->vertex != vertex)
            return Fail(nameToken, 3017,
                        "'" + name + "' is a " + (variable->vertex ? "vertex" : "pixel") + " shader, not a " +
                            (vertex ? "vertex" : "pixel") + " shader");
        if (IsSymbol(Peek(), '[')) {
            if (!variable->array)
                return Fail(Peek(), 3000, "'" + name + "' is not an array");
            Next();
            const Token indexToken = Peek();
            Tokens tokens(*this);
            Names names(*this);
            Expression program;
            ExpressionError error;
            if (!CompileExpression(tokens, names, budget_, program, error))
                return ExpressionFailed(error);
            if (!program.Shape().IsScalar())
                return Fail(indexToken, 3017, "the index of '" + name + "' is not a number");
            if (program.NamesParameters()) {
                // Chosen when the pass begins, by the index's value then.
                choice.array = name;
                choice.elements = variable->elements;
                program.Write(choice.index);
            } else {
                ExpressionValue index;
                if (!FoldExpression(program, budget_, index, error, indexToken))
                    return ExpressionFailed(error);
                const double i = index.components[0];
                uint64_t element = 0;
                if (std::isnan(i))
                    return Fail(indexToken, 3005, "the index of '" + name + "' is not a number");
                if (!ElementIndex(i, variable->elements.size(), element))
                    return Fail(indexToken, 3005,
                                "index " + NumberText(i) + " of '" + name + "' is out of range (0 to " +
                                    std::to_string(variable->elements.size() - 1) + ")");
                shader = variable->elements[static_cast<size_t>(element)];
            }
            if (!Expect(']'))
                return false;
        } else if (variable->array) {
            return Fail(nameToken, 3000, "the shader array '" + name + "' needs an index");
        } else {
            shader = variable->elements.front();
        }
        if ((angled && !Expect('>')) || (paren && !Expect(')')))
            return false;
        lastValueToken_ = previous_;
        return Expect(';');
    }

    bool Pass(EffectPass& pass, const std::string& owner)
    {
        Next();  // "pass"
        if (Peek().kind == TokenKind::Identifier)
            pass.name = std::string(Next().text);
        const std::string label = pass.name.empty() ? owner : "pass '" + pass.name + "'";
        if (IsSymbol(Peek(), '<') && !Annotations(pass.annotations))
            return false;
        if (!Expect('{'))
            return false;
        while (!IsSymbol(Peek(), '}')) {
            EffectState state;
            const Token stateToken = Peek();
            Token indexToken;
            if (!StateTarget(state, &indexToken))
                return false;
            if (IsWordNoCase(Peek(), "compile")) {
                const std::string lower = Lower(state.name);
                if (lower != "vertexshader" && lower != "pixelshader")
                    return Fail(stateToken, 3000, "'" + state.name + "' cannot take a compiled shader");
            }
            const StateInfo* info = KnownState(state, stateToken, indexToken);
            if (!info)
                return false;
            StateAssignment assignment;
            assignment.group = info->group;
            assignment.number = info->number;
            assignment.index = state.index < 0 ? 0 : uint32_t(state.index);
            if (info->type == StateType::Shader) {
                // A compiled shader lives in the pass; any other value is kept as written too.
                const Token first = Peek();
                const bool compiled = IsWordNoCase(first, "compile");
                if (!ShaderState(*info, label, pass))
                    return false;
                assignment.source = StateAssignment::Source::Shader;
                pass.assignments.push_back(std::move(assignment));
                if (!compiled) {
                    state.value = std::string(SourceBetween(first, lastValueToken_));
                    pass.states.push_back(std::move(state));
                }
                continue;
            }
            if (!AssignmentValue(*info, assignment, state.value))
                return false;
            pass.states.push_back(std::move(state));
            pass.assignments.push_back(std::move(assignment));
        }
        Next();
        return true;
    }

    bool Technique()
    {
        Next();  // "technique"
        EffectTechnique technique;
        const Token nameToken = Peek();
        if (Peek().kind == TokenKind::Identifier)
            technique.name = std::string(Next().text);
        if (!technique.name.empty() && !techniques_.Add(nameToken.text))
            return Fail(nameToken, 3003, "redefinition of technique '" + technique.name + "'");
        if (IsSymbol(Peek(), '<') && !Annotations(technique.annotations))
            return false;
        if (!Expect('{'))
            return false;
        std::deque<EffectPass> passes;
        while (!IsSymbol(Peek(), '}')) {
            if (!IsWordNoCase(Peek(), "pass"))
                return Unexpected(Peek());
            const std::string owner = "pass " + std::to_string(passes.size()) + " of technique '" + technique.name + "'";
            if (!Pass(passes.emplace_back(), owner))
                return false;
        }
        if (!Gather(passes, technique.passes))
            return Fail(Peek(), 3000, "");
        Next();
        out_.techniques.push_back(std::move(technique));
        return true;
    }

    // A technique10 or technique11 block, which an fx_2_0 effect leaves out
    // as the platform's compiler does: skipped to its closing brace.
    bool SkipLaterTechnique()
    {
        Next(); // "technique10" or "technique11"
        if (Peek().kind == TokenKind::Identifier)
            Next();
        std::vector<EffectAnnotation> annotations;
        if (IsSymbol(Peek(), '<') && !Annotations(annotations))
            return false;
        if (!IsSymbol(Peek(), '{'))
            return Unexpected(Peek());
        Token end;
        return SkipBalanced(end);
    }

    // `VertexShader name = compile ...;`, `PixelShader name[N] = { compile ..., ... };`
    // (any letter case): shaders that passes name, each compiled once.
    bool ShaderDeclaration(bool vertex)
    {
        const std::string type = std::string(Next().text);
        for (;;) {
            if (!ShaderDeclarator(vertex, type))
                return false;
            if (!IsSymbol(Peek(), ','))
                return Expect(';');
            Next();
        }
    }

    // One name of a shader declaration, up to the ',' or ';' after it.
    bool ShaderDeclarator(bool vertex, const std::string& type)
    {
        const Token nameToken = Peek();
        std::string name;
        if (!ExpectName(name))
            return false;
        if (FindShaderVariable(nameToken.text))
            return Fail(nameToken, 3003, "redefinition of '" + name + "'");
        Symbol symbol;
        symbol.kind = ExpressionName::Kind::Refused;
        symbol.why = "'" + name + "' is a shader: it has no value in an expression";
        if (!Declare(nameToken, std::move(symbol)))
            return false;
        ShaderVariable variable;
        variable.vertex = vertex;
        int64_t size = -1; // unsized
        if (IsSymbol(Peek(), '[')) {
            variable.array = true;
            uint32_t declared = 0;
            bool unsized = false;
            if (!ArraySize(declared, unsized))
                return false;
            if (!unsized)
                size = declared;
        }
        while (IsSymbol(Peek(), ':')) {
            Next();
            std::string semantic;
            if (!ExpectName(semantic))
                return false;
        }
        std::vector<EffectAnnotation> annotations;
        if (IsSymbol(Peek(), '<') && !Annotations(annotations))
            return false;
        if (!IsSymbol(Peek(), '='))
            return Fail(nameToken, 3000, "shader variable '" + name + "' needs a shader: '= compile ...'");
        Next();
        const std::string owner = "shader variable '" + name + "'";
        if (variable.array && IsSymbol(Peek(), '{')) {
            const Token open = Next();
            while (!IsSymbol(Peek(), '}')) {
                if (variable.elements.size() >= kMaxEffectArraySize)
                    return Fail(Peek(), 3005, "'" + name + "' has too many elements");
                if (!ShaderElement(vertex, type, owner, variable.elements.emplace_back()))
                    return false;
                if (!IsSymbol(Peek(), ','))
                    break;
                Next();
            }
            if (!Expect('}'))
                return false;
            if (variable.elements.empty() || (size >= 0 && variable.elements.size() != size_t(size)))
                return Fail(open, 3006,
                            "'" + name + "' has " + std::to_string(variable.elements.size()) + " shaders for " +
                                (size >= 0 ? std::to_string(size) : std::string("an unsized array")));
        } else {
            if (variable.array)
                return Fail(Peek(), 3000, "the shader array '" + name + "' needs a list: '{ compile ..., ... }'");
            if (!ShaderElement(vertex, type, owner, variable.elements.emplace_back()))
                return false;
        }
        shaderVariableNames_.Add(nameToken.text, static_cast<uint32_t>(shaderVariables_.size()));
        shaderVariables_.push_back(std::move(variable));
        return true;
    }

    // Moves what a deque gathered into its vector a few thousand at a time
    // between looks at the close signal: a vector grown one by one would move
    // all it holds at each doubling, in one step. False once closing.
    template <class T> bool Gather(std::deque<T>& from, std::vector<T>& to)
    {
        to.reserve(from.size());
        for (T& item : from) {
            if (platform::ClosingAfter()) {
                closing_ = true;
                closedAt_ = current_;
                return false;
            }
            to.push_back(std::move(item));
        }
        from.clear();
        return true;
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
    // Parameters and a technique's passes gather in deques, which never move
    // what they hold, and go to their vectors once complete.
    std::deque<EffectParameter> parameters_;
    NameTable parameterNames_; // index in parameters_
    NameTable techniques_;
    NameTable functions_;
    NameTable structNames_;  // into structs_
    std::deque<StructInfo> structs_;
    int unnamedStructs_ = 0;
    NameTable typedefIndex_; // into typedefs_
    std::deque<TypeInfo> typedefs_;
    // Shader variables, by name: what passes that name them take.
    struct ShaderVariable {
        bool vertex = true;
        bool array = false;
        std::vector<EffectShader> elements;
    };
    const ShaderVariable* FindShaderVariable(std::string_view name) const
    {
        const uint32_t found = shaderVariableNames_.Find(name);
        return found == NameTable::kNone ? nullptr : &shaderVariables_[found];
    }
    std::deque<ShaderVariable> shaderVariables_;
    Token lastValueToken_; // the last token of the shader state value read last
    NameTable shaderVariableNames_;
    uint64_t parameterFloats_ = 0;
    // What names mean to expressions, in the order declared.
    NameTable symbolIndex_;
    std::deque<Symbol> symbols_;
    ExpressionBudget budget_;
    EffectDescription out_;
};

} // namespace

bool ParseEffect(std::string_view text, const std::string& fileName, EffectDescription& out,
                 std::string& messages, size_t sourceBytes, std::vector<FoldedInitializer>* folded,
                 std::vector<std::string>* assigned)
{
    Parser parser(text, fileName, messages, sourceBytes);
    parser.folded_ = folded;
    parser.assigned_ = assigned;
    return parser.Run(out);
}

} // namespace gfx
