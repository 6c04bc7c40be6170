// The effect parser's annotations and state values: of passes and of
// sampler_state blocks, numbers, named values, objects and expressions.
#include <cmath>
#include <cstdlib>

#include "platform/gfx/fx/parser/effect_reader.h"

namespace gfx::parse {
namespace {

// What a braced list of values is read as for `info`.
ValueShape ListShape(const StateInfo& info)
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

} // namespace

bool Parser::Number(const Token& t, float& value)
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

// A string constant, its pieces joined, in as many parentheses as an
// expression may be (`("None")`, as macros often write it).
bool Parser::StringValue(std::string& value)
{
    size_t open = 0;
    for (; IsSymbol(Peek(), '('); ++open)
        Next();
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
    for (; open > 0; --open)
        if (!Expect(')'))
            return false;
    return true;
}

bool Parser::Annotations(std::vector<EffectAnnotation>& list)
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
bool Parser::StateTarget(EffectState& state, Token* indexAt)
{
    if (!ExpectName(state.name))
        return false;
    if (IsSymbol(Peek(), '[')) {
        uint32_t index = 0;
        Token n;
        if (!ConstantIndex("state '" + state.name + "'", index, n))
            return false;
        state.index = static_cast<int32_t>(index);
        if (indexAt)
            *indexAt = n;
    }
    return Expect('=');
}

// `[index]` of `what`, read from the '[': a constant expression, as the
// platform's compiler takes it, whole and below 65536; `at` its first token.
bool Parser::ConstantIndex(const std::string& what, uint32_t& index, Token& at)
{
    Next(); // '['
    at = Peek();
    Tokens tokens(*this);
    Names names(*this);
    Expression program;
    ExpressionError error;
    ExpressionValue value;
    const std::string its = "the index of " + what;
    if (!CompileExpression(tokens, names, budget_, program, error))
        return ExpressionFailed(error);
    if (!ConstantValue(program, at, its, value))
        return false;
    if (!program.Shape().IsScalar())
        return Fail(at, 3005, its + " is one number, not '" + ShapeName(program.Shape()) + "'");
    const double v = value.components[0];
    if (v != std::floor(v))
        return Fail(at, 3005, its + " is not a whole number: " + NumberText(v));
    if (!(v >= 0 && v < 65536))
        return Fail(at, 3005, "index " + NumberText(v) + " of " + what + " is out of range");
    index = static_cast<uint32_t>(v);
    return Expect(']');
}

// `[index]` after the name of an array of textures: `name` becomes its
// element's, "maps[1]", as the runtime effect names it too.
bool Parser::TextureElement(const EffectParameter& texture, std::string& name)
{
    if (texture.arraySize == 0)
        return Fail(Peek(), 3005, "texture '" + name + "' is not an array");
    uint32_t index = 0;
    Token at;
    if (!ConstantIndex("texture '" + name + "'", index, at))
        return false;
    if (index >= texture.arraySize)
        return Fail(at, 3005, "index " + std::to_string(index) + " of texture '" + name + "' is out of range (0 to " +
                                  std::to_string(texture.arraySize - 1) + ")");
    name += "[" + std::to_string(index) + "]";
    return true;
}

// The state `state` names, with its index checked; null after the error.
const StateInfo* Parser::KnownState(const EffectState& state, const Token& nameToken, const Token& indexToken)
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
bool Parser::AssignmentValue(const StateInfo& info, StateAssignment& a, std::string& written)
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
bool Parser::ObjectValue(const StateInfo& info, StateAssignment& a)
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
    if (texture && IsSymbol(Peek(), '[') && !TextureElement(parameters_[found], name))
        return false;
    if ((angled && !Expect('>')) || (paren && !Expect(')')))
        return false;
    a.source = StateAssignment::Source::Parameter;
    a.parameter = name;
    return true;
}

// A named value (several combined with '|' where the state allows), or an
// expression.
bool Parser::NumberValue(const StateInfo& info, StateAssignment& a)
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

bool Parser::Words(const StateInfo& info, const Token& at, const ValueShape& shape, const double* values,
                   StateAssignment& a)
{
    std::string why;
    if (!StateWords(info, a.index, shape, values, a.words, why))
        return Fail(at, 3017, why);
    a.source = StateAssignment::Source::Constant;
    return true;
}

// A sampler's block of states, after `sampler_state` when `keyword`.
bool Parser::SamplerState(EffectParameter& p, bool keyword)
{
    if (keyword && !IsWordNoCase(Peek(), "sampler_state"))
        return Fail(Peek(), 3000, "sampler_state expected");
    if (keyword)
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
            const uint32_t found = parameterNames_.Find(textureToken.text);
            if (found == NameTable::kNone || !IsTextureType(parameters_[found].type))
                return Fail(textureToken, 3004, "undeclared texture '" + texture + "'");
            if (IsSymbol(Peek(), '[') && !TextureElement(parameters_[found], texture))
                return false;
            if ((angled && !Expect('>')) || (paren && !Expect(')')) || !Expect(';'))
                return false;
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

} // namespace gfx::parse
