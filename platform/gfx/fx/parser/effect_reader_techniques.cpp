// The effect parser's techniques, their passes, and the shaders passes compile
// or name: shader variables and arrays of them.
#include <cmath>
#include <set>

#include "platform/gfx/fx/parser/effect_reader.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/function_head.h"

namespace gfx::parse {
namespace {

bool ValidProfile(std::string_view profile, bool vertex)
{
    static const std::set<std::string_view> vs = {"vs_1_1", "vs_2_0", "vs_2_a", "vs_2_sw",
                                                  "vs_3_0", "vs_3_sw"};
    static const std::set<std::string_view> ps = {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4",
                                                  "ps_2_0", "ps_2_a", "ps_2_b", "ps_2_sw",
                                                  "ps_3_0", "ps_3_sw"};
    return vertex ? vs.count(profile) > 0 : ps.count(profile) > 0;
}

// NULL, or a zero, which the platform's effects write for no shader as often.
bool NoShader(const Token& t)
{
    if (t.kind == TokenKind::Number)
        return t.text.find_first_not_of("0.") == std::string_view::npos && t.text.find('0') != std::string_view::npos;
    return t.kind == TokenKind::Identifier && Lower(t.text) == "null";
}

} // namespace

// `compile profile entry(arguments)` for the vertex or pixel stage; leaves
// the parser after the arguments.
bool Parser::CompileShader(bool vertex, const std::string& stateName, EffectShader& shader)
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
    std::vector<Token> inner;
    if (!SkipBalanced(close, &first, &last, &inner))
        return false;
    if (first.offset != close.offset)
        shader.arguments = std::string(SourceBetween(first, last));
    WarnOfCutArguments(shader.entry, inner);
    return true;
}

// The arguments of a compile statement go to the function's uniform
// parameters converted as a call's do (hlsl/shader_boundary.cpp): a vector
// given for a smaller one, or for a number, is cut, with the platform's
// warning. Said where the argument's shape and the parameter's are known.
void Parser::WarnOfCutArguments(const std::string& entry, const std::vector<Token>& inner)
{
    std::vector<std::vector<Token>> arguments(inner.empty() ? 0 : 1);
    int depth = 0;
    for (const Token& t : inner) {
        depth += IsSymbol(t, '(') || IsSymbol(t, '[') || IsSymbol(t, '{') ? 1 : 0;
        depth -= IsSymbol(t, ')') || IsSymbol(t, ']') || IsSymbol(t, '}') ? 1 : 0;
        if (depth == 0 && IsSymbol(t, ','))
            arguments.emplace_back();
        else
            arguments.back().push_back(t);
    }
    // The parameters of the first function of the name that the arguments
    // fit, as the pass compiler chooses it; a shape of no columns where not known.
    std::vector<ValueShape> parameters;
    for (const EffectCode& f : out_.functions) {
        if (f.name != entry)
            continue;
        const std::vector<Token> tokens = Tokenize(f.text);
        FunctionHead head;
        if (!ReadFunctionHead(tokens, 0, head))
            continue;
        size_t needed = 0;
        parameters.clear();
        for (const FunctionParameter& p : head.parameters) {
            if (!p.uniform)
                continue;
            ValueShape shape;
            if (p.arrayOpen != FunctionParameter::kNone || p.typeEnd != p.typeBegin + 1 ||
                !BuiltInShape(tokens[p.typeBegin].text, shape))
                shape.columns = 0;
            parameters.push_back(shape);
            needed = p.defaultBegin == FunctionParameter::kNone ? parameters.size() : needed;
        }
        if (arguments.size() <= parameters.size() && arguments.size() >= needed)
            break;
        parameters.clear();
    }
    for (size_t k = 0; k < arguments.size() && k < parameters.size(); ++k) {
        if (arguments[k].empty() || !parameters[k].IsVector() || parameters[k].columns == 0)
            continue;
        TokenListReader reader(arguments[k]);
        Names names(*this);
        Expression program;
        ExpressionError error;
        if (!CompileExpression(reader, names, budget_, program, error) || reader.Peek().kind != TokenKind::End)
            continue;
        const ValueShape& given = program.Shape();
        if (given.IsVector() && given.columns > parameters[k].columns) {
            const Token& at = arguments[k].front();
            messages_ += FormatEffectWarning(FileName(at.file), at.line, at.column, 3206,
                                             "implicit truncation of vector type");
        }
    }
}

// A compiled shader, NULL, or an assembly block (refused, naming `owner`).
bool Parser::ShaderElement(bool vertex, const std::string& stateName, const std::string& owner, EffectShader& shader)
{
    if (IsWordNoCase(Peek(), "compile"))
        return CompileShader(vertex, stateName, shader);
    if (IsWordNoCase(Peek(), "asm"))
        return Fail(Peek(), 3000,
                    owner + ": assembly shaders (asm { ... }) are not supported; compile the shader from HLSL");
    if (NoShader(Peek())) {
        Next();
        shader = EffectShader();
        return true;
    }
    return Unexpected(Peek());
}

// `VertexShader = ...;` or `PixelShader = ...;` of a pass: a compiled
// shader, NULL, or a shader variable (`p`, `(p)`, `<p>`), an element of an
// array of them taken by a constant index or by an index of parameters.
bool Parser::ShaderState(const StateInfo& info, const std::string& owner, EffectPass& pass)
{
    const bool vertex = info.group == StateGroup::VertexShader;
    const std::string state(info.name);
    EffectShader& shader = vertex ? pass.vertexShader : pass.pixelShader;
    EffectShaderChoice& choice = vertex ? pass.vertexChoice : pass.pixelChoice;
    choice = EffectShaderChoice();
    shader = EffectShader();
    const Token at = Peek();
    if (IsWordNoCase(at, "compile") || IsWordNoCase(at, "asm") || NoShader(at)) {
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

bool Parser::Pass(EffectPass& pass, const std::string& owner)
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

bool Parser::Technique()
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
bool Parser::SkipLaterTechnique()
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
bool Parser::ShaderDeclaration(bool vertex)
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
bool Parser::ShaderDeclarator(bool vertex, const std::string& type)
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

} // namespace gfx::parse
