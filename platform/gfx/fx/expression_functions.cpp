// The effect's own functions called in a constant expression: each call read
// inline from the function's text (declared in expression_compiler.h).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gfx/fx/expression_compiler.h"
#include "platform/gfx/fx/expression_operators.h"

namespace gfx::expr {

// Reads a function's head from its text: modifiers, the type returned, the
// name, the parameters (their types, names, semantics and default values).
bool ExpressionCompiler::Head(const std::string& name, FunctionHead& head)
{
    auto notConstant = [&](const Token& at, const std::string& why) {
        return Fail(at, 3025, "'" + name + "' has no constant value: " + why);
    };
    static const std::string_view kModifiers[] = {"static", "inline", "precise", "const", "uniform", "extern"};
    while (Peek().kind == TokenKind::Identifier &&
           std::find(std::begin(kModifiers), std::end(kModifiers), Peek().text) != std::end(kModifiers))
        Next();
    bool refused = false;
    std::string why;
    const Token returnToken = Peek();
    if (returnToken.text == "void")
        return notConstant(returnToken, "it returns nothing");
    if (returnToken.kind != TokenKind::Identifier || !TypeNamed(returnToken.text, head.returned, refused, why))
        return notConstant(returnToken, "it returns '" + std::string(returnToken.text) + "'");
    Next();
    if ((returnToken.text == "vector" || returnToken.text == "matrix") && IsSymbol(Peek(), '<') &&
        !Template(returnToken, head.returned))
        return false;
    if (Peek().kind != TokenKind::Identifier)
        return Unexpected(Peek());
    Next();
    if (!Expect('('))
        return false;
    while (!IsSymbol(Peek(), ')')) {
        FunctionHead::Parameter p;
        static const std::string_view kParameterModifiers[] = {"in", "uniform", "const", "linear", "centroid",
                                                               "nointerpolation", "noperspective", "sample"};
        while (Peek().kind == TokenKind::Identifier &&
               std::find(std::begin(kParameterModifiers), std::end(kParameterModifiers), Peek().text) !=
                   std::end(kParameterModifiers))
            Next();
        const Token type = Peek();
        if (type.text == "out" || type.text == "inout")
            return notConstant(type, "it has an '" + std::string(type.text) + "' parameter");
        if (type.kind != TokenKind::Identifier || !TypeNamed(type.text, p.shape, refused, why))
            return notConstant(type, "it takes a '" + std::string(type.text) + "'");
        Next();
        if ((type.text == "vector" || type.text == "matrix") && IsSymbol(Peek(), '<') && !Template(type, p.shape))
            return false;
        const Token nameToken = Peek();
        if (nameToken.kind != TokenKind::Identifier)
            return Unexpected(nameToken);
        p.name = nameToken.text;
        Next();
        if (IsSymbol(Peek(), '['))
            return notConstant(Peek(), "it takes an array");
        while (IsSymbol(Peek(), ':')) {
            Next();
            if (Peek().kind != TokenKind::Identifier)
                return Unexpected(Peek());
            Next();
        }
        if (IsSymbol(Peek(), '=')) {
            Next();
            p.defaultAt = head.defaults.size() + 1;
            int open = 0;
            while (Peek().kind != TokenKind::End && !(open == 0 && (IsSymbol(Peek(), ',') || IsSymbol(Peek(), ')')))) {
                open += IsSymbol(Peek(), '(') ? 1 : IsSymbol(Peek(), ')') ? -1 : 0;
                head.defaults.push_back(Next());
            }
            Token end = Peek();
            end.kind = TokenKind::End;
            head.defaults.push_back(end);
        }
        head.parameters.push_back(p);
        if (!IsSymbol(Peek(), ','))
            break;
        Next();
    }
    if (!Expect(')'))
        return false;
    while (IsSymbol(Peek(), ':')) {
        Next();
        if (Peek().kind != TokenKind::Identifier)
            return Unexpected(Peek());
        Next();
    }
    if (!IsSymbol(Peek(), '{'))
        return notConstant(Peek(), "it has no body");
    return true;
}

// A call of a function of the effect, inlined: its parameters' types read
// first, the arguments converted to them and kept in locals, then its
// body read with those names. The scope puts back the caller's tokens, names
// and depth of calls on every way out.
bool ExpressionCompiler::Inline(const ExpressionName& function, const Token& call)
{
    const std::string name(call.text);
    if (callDepth_ >= kMaxExpressionCallDepth)
        return Fail(call, 3000, "calls of '" + name + "' nested too deeply (more than " +
                                    std::to_string(kMaxExpressionCallDepth) + ")");
    if (!builder_.Spend(function.text.size(), call))
        return false;
    std::vector<Token> tokens;
    {
        Tokenizer tokenizer(function.text);
        for (Token t = tokenizer.Next(); t.kind != TokenKind::End; t = tokenizer.Next()) {
            if (t.kind == TokenKind::Directive)
                continue;
            if (t.line == 1)
                t.column += function.column - 1;
            t.line += function.line - 1;
            t.file = function.file;
            tokens.push_back(t);
        }
    }
    TokenListReader body(std::move(tokens));
    const CallScope scope(*this);
    ExpressionTokens* const caller = tokens_;
    tokens_ = &body;
    FunctionHead head;
    if (!Head(name, head))
        return false;
    const std::vector<FunctionHead::Parameter>& parameters = head.parameters;

    // The arguments, in the caller's text, each made the parameter's type.
    tokens_ = caller;
    Next(); // '('
    uint32_t given = 0;
    if (!IsSymbol(Peek(), ')')) {
        for (;;) {
            if (given >= parameters.size())
                return Fail(call, 3013, "'" + name + "' takes " + std::to_string(parameters.size()) +
                                            " arguments, more given");
            const Token at = Peek();
            if (!Assignment() || !builder_.ConvertTo(parameters[given].shape, at, false))
                return false;
            ++given;
            if (!IsSymbol(Peek(), ','))
                break;
            Next();
        }
    }
    if (!Expect(')'))
        return false;
    ++callDepth_;
    // Defaults name what the effect declares, not the caller's locals.
    frame_ = locals_.size();
    for (size_t k = given; k < parameters.size(); ++k) {
        if (parameters[k].defaultAt == 0)
            return Fail(call, 3013, "'" + name + "' takes " + std::to_string(parameters.size()) + " arguments, " +
                                        std::to_string(given) + " given");
        std::vector<Token> list;
        for (size_t i = parameters[k].defaultAt - 1; head.defaults[i].kind != TokenKind::End; ++i)
            list.push_back(head.defaults[i]);
        TokenListReader reader(std::move(list));
        tokens_ = &reader;
        const Token at = Peek();
        if (!Assignment() || !builder_.ConvertTo(parameters[k].shape, at, false))
            return false;
        if (Peek().kind != TokenKind::End)
            return Unexpected(Peek());
        tokens_ = caller;
    }
    // Kept in locals, the last on top of the stack first.
    std::vector<uint32_t> slots(parameters.size());
    for (size_t k = parameters.size(); k > 0; --k)
        if (!builder_.StoreNew(parameters[k - 1].shape, call, slots[k - 1]))
            return false;
    for (size_t k = 0; k < parameters.size(); ++k)
        locals_.push_back({parameters[k].name, slots[k], parameters[k].shape});

    tokens_ = &body;
    return Body(name, head.returned);
}

// Declarations, assignments and a return: what a function that computes
// a value is made of.
bool ExpressionCompiler::Body(const std::string& name, const ValueShape& returned)
{
    Next(); // '{'
    auto notConstant = [&](const Token& at, const std::string& why) {
        return Fail(at, 3025, "'" + name + "' has no constant value: " + why);
    };
    for (;;) {
        const Token t = Peek();
        if (IsSymbol(t, ';')) {
            Next();
            continue;
        }
        if (t.kind == TokenKind::End || IsSymbol(t, '}'))
            return notConstant(t, "it returns no value");
        if (t.kind != TokenKind::Identifier)
            return notConstant(t, "'" + std::string(t.text) + "' starts no declaration, assignment or return");
        if (t.text == "return") {
            Next();
            if (!Comma() || !builder_.ConvertTo(returned, t, false))
                return false;
            return IsSymbol(Peek(), ';') || Unexpected(Peek());
        }
        static const std::string_view kModifiers[] = {"const", "static", "precise"};
        bool modified = false;
        while (Peek().kind == TokenKind::Identifier &&
               std::find(std::begin(kModifiers), std::end(kModifiers), Peek().text) != std::end(kModifiers)) {
            Next();
            modified = true;
        }
        ValueShape shape;
        bool refused = false;
        std::string why;
        const Token first = Peek();
        if (first.kind == TokenKind::Identifier && TypeNamed(first.text, shape, refused, why)) {
            Next();
            if ((first.text == "vector" || first.text == "matrix") && IsSymbol(Peek(), '<') &&
                !Template(first, shape))
                return false;
            if (!Declarators(shape))
                return false;
            continue;
        }
        if (modified)
            return notConstant(first, "'" + std::string(first.text) + "' is no type it can compute");
        size_t local = locals_.size();
        for (size_t k = locals_.size(); k > frame_; --k)
            if (locals_[k - 1].name == t.text) {
                local = k - 1;
                break;
            }
        if (local == locals_.size())
            return notConstant(t, "'" + std::string(t.text) + "' starts no declaration, assignment or return");
        Next();
        if (!AssignTo(locals_[local], t, notConstant))
            return false;
    }
}

bool ExpressionCompiler::Declarators(const ValueShape& shape)
{
    for (;;) {
        const Token nameToken = Peek();
        if (nameToken.kind != TokenKind::Identifier)
            return Unexpected(nameToken);
        Next();
        if (IsSymbol(Peek(), '['))
            return Fail(Peek(), 3025, "a local array has no constant value here");
        if (IsSymbol(Peek(), '=')) {
            const Token at = Next();
            if (!Assignment() || !builder_.ConvertTo(shape, at, false))
                return false;
        } else {
            ExpressionValue zero;
            zero.shape = shape;
            zero.components.assign(shape.Components(), 0.0);
            if (!builder_.PushConstant(std::move(zero), nameToken))
                return false;
        }
        uint32_t slot = 0;
        if (!builder_.StoreNew(shape, nameToken, slot))
            return false;
        locals_.push_back({nameToken.text, slot, shape});
        if (IsSymbol(Peek(), ';')) {
            Next();
            return true;
        }
        if (!Expect(','))
            return false;
    }
}

template <class Refuse> bool ExpressionCompiler::AssignTo(const Local& local, const Token& at, Refuse notConstant)
{
    uint32_t op = kBinaryCount;
    const char c = Peek().text.empty() ? 0 : Peek().text[0];
    if (IsSymbol(Peek(), '=') && !IsPair('=', '=')) {
        Next();
    } else if ((c == '+' || c == '-' || c == '*' || c == '/') && IsPair(c, '=')) {
        op = c == '+' ? kAdd : c == '-' ? kSubtract : c == '*' ? kMultiply : kDivide;
        Next();
        Next();
    } else {
        return notConstant(Peek(), "only whole variables are assigned to ('" + std::string(at.text) + "')");
    }
    const Token value = Peek();
    if (op != kBinaryCount && !builder_.Load(local.slot, at))
        return false;
    if (!Comma())
        return false;
    if (op != kBinaryCount && !builder_.Emit({Op::Binary, op, 0}, value))
        return false;
    if (!builder_.ConvertTo(local.shape, value, false))
        return false;
    if (!builder_.Emit({Op::Store, local.slot, 0}, at))
        return false;
    return Expect(';');
}

} // namespace gfx::expr
