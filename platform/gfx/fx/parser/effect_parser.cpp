// The effect parser's way in: the file's top level, and what the names declared
// so far mean to the constant expressions that every part reads.
#include "platform/gfx/fx/parser/effect_parser.h"

#include "platform/gfx/fx/parser/effect_reader.h"

namespace gfx {
namespace parse {

bool Parser::Run(EffectDescription& out)
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

bool Parser::TopLevel()
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

ExpressionName Parser::Names::Find(std::string_view name)
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
    out.sizes = s.sizes.empty() ? nullptr : &s.sizes;
    out.text = s.kind == ExpressionName::Kind::Refused ? std::string_view(s.why) : s.text;
    out.line = s.at.line;
    out.column = s.at.column;
    out.file = s.at.file;
    return out;
}

// Declares `name` for the expressions after it; a second declaration of
// a name is an error, except of a function (its overloads).
bool Parser::Declare(const Token& name, Symbol symbol)
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

bool Parser::ExpressionFailed(const ExpressionError& error)
{
    if (failed_ || closing_)
        return Fail(Peek(), 3000, "");
    Token at;
    at.line = error.line;
    at.column = error.column;
    at.file = error.file;
    return Fail(at, error.code, error.text);
}

// A value the effect needs now: an array size, an annotation, the
// initial value of a parameter. `what` names it for the error of one
// that names a parameter.
bool Parser::ConstantValue(const Expression& program, const Token& at, const std::string& what, ExpressionValue& value)
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

} // namespace parse

bool ParseEffect(std::string_view text, const std::string& fileName, EffectDescription& out,
                 std::string& messages, size_t tokenBytes, std::vector<FoldedInitializer>* folded,
                 std::vector<std::string>* assigned)
{
    parse::Parser parser(text, fileName, messages, tokenBytes);
    parser.folded_ = folded;
    parser.assigned_ = assigned;
    return parser.Run(out);
}

} // namespace gfx
