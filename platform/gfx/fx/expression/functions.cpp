// The effect's own functions called in a constant expression: each call read
// inline from the function's text (declared in expression/compiler.h).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gfx/fx/expression/compiler.h"
#include "platform/gfx/fx/syntax/function_head.h"

namespace gfx::expr {

// Takes a function's head as the one reader of heads finds it in its
// tokens: the type returned, the parameters (their types, names and default
// values), and where its body begins (`body`), each as a constant
// expression may use it.
bool ExpressionCompiler::Head(const std::string& name, const std::vector<Token>& tokens, FunctionHead& head,
                              size_t& body)
{
    auto notConstant = [&](const Token& at, const std::string& why) {
        return Fail(at, 3025, "'" + name + "' has no constant value: " + why);
    };
    Token end; // where the text ends, as a reader of the tokens sees it
    if (!tokens.empty()) {
        end = tokens.back();
        end.text = std::string_view();
        end.column += 1;
    }
    end.kind = TokenKind::End;
    auto at = [&](size_t i) -> const Token& { return i < tokens.size() ? tokens[i] : end; };
    bool refused = false;
    std::string why;
    // A type's shape from its tokens [first, last): a name, or a template.
    auto shapeOf = [&](size_t first, size_t last, ValueShape& shape) {
        if (!TypeNamed(at(first).text, shape, refused, why))
            return false;
        if (last - first < 2)
            return true;
        TokenListReader reader(std::vector<Token>(tokens.begin() + static_cast<std::ptrdiff_t>(first) + 1,
                                                  tokens.begin() + static_cast<std::ptrdiff_t>(last)));
        ExpressionTokens* const outer = tokens_;
        tokens_ = &reader;
        const bool ok = Template(at(first), shape);
        tokens_ = outer;
        return ok;
    };
    gfx::FunctionHead read;
    const bool whole = ReadFunctionHead(tokens, 0, read);
    const Token& returnToken = at(read.typeBegin);
    if (returnToken.text == "void")
        return notConstant(returnToken, "it returns nothing");
    if (returnToken.kind != TokenKind::Identifier || !TypeNamed(returnToken.text, head.returned, refused, why))
        return notConstant(returnToken, "it returns '" + std::string(returnToken.text) + "'");
    if (!shapeOf(read.typeBegin, read.typeEnd, head.returned))
        return false;
    if (!whole)
        return Unexpected(at(read.typeEnd + (at(read.typeEnd).kind == TokenKind::Identifier ? 1 : 0)));
    for (const FunctionParameter& p : read.parameters) {
        FunctionHead::Parameter parameter;
        if (p.direction == HlslDirection::Out || p.direction == HlslDirection::InOut) {
            size_t modifier = p.first;
            while (modifier < p.typeBegin && !at(modifier).Is("out") && !at(modifier).Is("inout"))
                ++modifier;
            return notConstant(at(modifier), "it has an '" + std::string(at(modifier).text) + "' parameter");
        }
        const Token& type = at(p.typeBegin);
        if (type.kind != TokenKind::Identifier || !TypeNamed(type.text, parameter.shape, refused, why))
            return notConstant(type, "it takes a '" + std::string(type.text) + "'");
        if (!shapeOf(p.typeBegin, p.typeEnd, parameter.shape))
            return false;
        if (p.name == FunctionParameter::kNone)
            return Unexpected(at(p.typeEnd));
        parameter.name = at(p.name).text;
        if (p.arrayOpen != FunctionParameter::kNone) {
            // An array's size: a constant expression between its brackets.
            TokenListReader reader(std::vector<Token>(tokens.begin() + static_cast<std::ptrdiff_t>(p.arrayOpen) + 1,
                                                      tokens.begin() + static_cast<std::ptrdiff_t>(p.arrayClose)));
            ExpressionTokens* const outer = tokens_;
            tokens_ = &reader;
            const bool sized = ConstantSize(parameter.shape.arraySize) && (Peek().kind == TokenKind::End || Unexpected(Peek()));
            tokens_ = outer;
            if (!sized)
                return false;
            if (at(p.arrayClose + 1).Is('['))
                return notConstant(at(p.arrayClose + 1), "it takes an array of arrays");
        }
        if (p.defaultBegin != FunctionParameter::kNone) {
            parameter.defaultAt = head.defaults.size() + 1;
            head.defaults.insert(head.defaults.end(), tokens.begin() + static_cast<std::ptrdiff_t>(p.defaultBegin),
                                 tokens.begin() + static_cast<std::ptrdiff_t>(p.last));
            Token stop = at(p.last);
            stop.kind = TokenKind::End;
            head.defaults.push_back(stop);
        }
        head.parameters.push_back(parameter);
    }
    body = read.close + 1;
    while (at(body).Is(':')) {
        if (at(body + 1).kind != TokenKind::Identifier)
            return Unexpected(at(body + 1));
        body += 2;
    }
    if (!at(body).Is('{'))
        return notConstant(at(body), "it has no body");
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
    const CallScope scope(*this);
    ExpressionTokens* const caller = tokens_;
    FunctionHead head;
    size_t bodyAt = 0;
    if (!Head(name, tokens, head, bodyAt))
        return false;
    TokenListReader body(std::vector<Token>(tokens.begin() + static_cast<std::ptrdiff_t>(bodyAt), tokens.end()));
    const std::vector<FunctionHead::Parameter>& parameters = head.parameters;
    Function called{name, head.returned, &body, 0};

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
    function_ = &called;
    return Body();
}

bool ExpressionCompiler::NotConstant(const Token& at, const std::string& why, bool rounds)
{
    const std::string name = function_ ? function_->name : std::string();
    return builder_.Fail(at, 3025, "'" + name + "' has no constant value: " + why, rounds);
}

} // namespace gfx::expr
