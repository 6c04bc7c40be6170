// The effect parser's types and declarations: parameters, statics, typedefs,
// constant buffers and functions, with their array sizes and initial values.
#include <algorithm>
#include <cmath>
#include <set>

#include "platform/gfx/fx/parser/effect_reader.h"
#include "platform/gfx/fx/syntax/hlsl_modifiers.h"

namespace gfx::parse {
namespace {

bool IsKeyword(std::string_view word)
{
    static const std::set<std::string_view> kWords = {
        "break", "case", "cbuffer", "class", "compile", "continue", "default", "discard", "do", "else",
        "false", "for", "if", "in", "inout", "interface", "namespace", "out", "pass", "register", "return",
        "sampler_state", "stateblock", "struct", "switch", "tbuffer", "technique", "technique10",
        "technique11", "true", "typedef", "while", "in", "Texture2D", "SamplerState"};
    return kWords.count(word) > 0;
}

// The number of the sampler register `written` names, s0 to s15 in either
// letter case; false for anything else, which is no sampler's register.
bool SamplerRegister(std::string_view written, int32_t& out)
{
    if (written.size() < 2 || (written[0] != 's' && written[0] != 'S'))
        return false;
    uint64_t n = 0;
    for (char c : written.substr(1)) {
        if (c < '0' || c > '9')
            return false;
        n = std::min<uint64_t>(n * 10 + uint64_t(c - '0'), 1u << 20);
    }
    if (n > kMaxSamplerRegister)
        return false;
    out = static_cast<int32_t>(n);
    return true;
}

} // namespace

bool Parser::ParseType(TypeInfo& info)
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

bool Parser::ArraySize(uint32_t& size, bool& unsized, std::vector<uint32_t>* sizes, Token* firstClose)
{
    Next(); // '['
    unsized = IsSymbol(Peek(), ']');
    uint64_t elements = 1;
    for (bool first = true;; first = false) {
        uint32_t one = 0;
        if (first && unsized) {
            Next();
        } else {
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
            // An array of arrays holds its elements as one array, within the one bound.
            if (value.components.size() != 1 || !(v >= 1) || v * double(elements) > double(kMaxEffectArraySize) ||
                v != std::floor(v))
                return Fail(sizeToken, 3005, "invalid array size");
            one = static_cast<uint32_t>(v);
            elements *= one;
            if (!Expect(']'))
                return false;
        }
        if (first && firstClose)
            *firstClose = previous_;
        if (sizes)
            sizes->push_back(one);
        if (!IsSymbol(Peek(), '['))
            break;
        if (!sizes)
            return Fail(Peek(), 3005, "arrays of arrays are not supported here");
        Next();
    }
    size = unsized ? 0 : static_cast<uint32_t>(elements);
    if (sizes && sizes->size() < 2)
        sizes->clear();
    return true;
}

// The initial value of a variable or annotation of `shape` (its size
// taken from the values for an unsized array). With `shadersOnly`, one
// refused only for a loop a parameter decides is read past, and the
// refusal kept there: the shaders compute it.
bool Parser::InitialValue(const ValueShape& shape, Expression& program, ExpressionError* shadersOnly)
{
    Tokens tokens(*this);
    Names names(*this);
    ExpressionError error;
    if (CompileInitializer(tokens, names, budget_, shape, program, error))
        return true;
    if (!shadersOnly || !error.roundsByParameter || failed_ || closing_)
        return ExpressionFailed(error);
    while (Peek().kind != TokenKind::End && (tokens.open > 0 || !(IsSymbol(Peek(), ';') || IsSymbol(Peek(), ','))))
        tokens.Next();
    *shadersOnly = std::move(error);
    return true;
}

// `typedef [const] type Name, Other;`: names for a type declared before.
bool Parser::Typedef()
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
bool Parser::ConstantBuffer()
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

bool Parser::Declaration()
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

Parser::Uses Parser::UsesOf(const Token& first, const Token& last) const
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
bool Parser::AssignAtEntry(Symbol& symbol, const std::string& name, const Token& value)
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
bool Parser::Declarators(const TypeInfo& type, bool isStatic, Token nameToken, std::string* read)
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

bool Parser::Function(const Token& first, const Token& nameToken)
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
    const Token open = Peek();
    if (!SkipBalanced(end))
        return false;
    functions_.Add(nameToken.text);
    Symbol symbol;
    symbol.kind = ExpressionName::Kind::Function;
    symbol.text = SourceBetween(first, end);
    symbol.at = first;
    if (!Declare(nameToken, std::move(symbol)))
        return false;
    const std::string_view text = SourceBetween(first, end);
    const size_t head = open.offset - first.offset;
    out_.functions.push_back(
        {std::string(nameToken.text), KeptText(text.substr(0, head)) + std::string(text.substr(head))});
    return true;
}

std::string Parser::KeptText(std::string_view text)
{
    const std::vector<Token> tokens = Tokenize(text);
    const std::vector<size_t> matches = BracketMatches(tokens);
    std::string out;
    size_t at = 0; // of text, copied up to here
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        std::string with;
        size_t last = i; // the last token `with` stands for
        if (MayNameDeclaration(tokens, i) && i + 1 < tokens.size() && tokens[i + 1].kind == TokenKind::Identifier) {
            // A type: the name it declares follows.
            const uint32_t found = typedefIndex_.Find(t.text);
            const TypeInfo* named = found == NameTable::kNone ? nullptr : &typedefs_[found];
            if (named && named->type == EffectParameterType::Struct)
                with = named->structName;
            else if (named && !named->isVoid && IsNumericType(named->type))
                with = ShapeName(ShapeOf(*named, 0));
        } else if (t.Is('[') && i > 0 && tokens[i - 1].kind == TokenKind::Identifier && matches[i] < tokens.size()) {
            // Folded once, whatever brackets it holds: they are read with it.
            const size_t close = matches[i];
            uint32_t size = 0;
            if (!(close == i + 2 && tokens[i + 1].kind == TokenKind::Number) &&
                FoldedSize(std::vector<Token>(tokens.begin() + long(i + 1), tokens.begin() + long(close)), size)) {
                with = "[" + std::to_string(size) + "]";
                last = close;
            } else {
                i = close;
            }
        }
        if (with.empty())
            continue;
        out.append(text, at, t.offset - at);
        out += with;
        at = tokens[last].offset + tokens[last].text.size();
        i = last;
    }
    return out.append(text, at);
}

bool Parser::FoldedSize(std::vector<Token> tokens, uint32_t& size)
{
    if (tokens.empty())
        return false;
    const Token at = tokens.front();
    TokenListReader reader(std::move(tokens));
    Names names(*this);
    Expression program;
    ExpressionError error;
    ExpressionValue value;
    if (!CompileExpression(reader, names, budget_, program, error) || reader.Peek().kind != TokenKind::End ||
        program.NamesParameters() || !FoldExpression(program, budget_, value, error, at))
        return false;
    const double v = value.components.size() == 1 ? value.components[0] : 0;
    if (!(v >= 1) || v > double(kMaxEffectArraySize) || v != std::floor(v))
        return false;
    size = static_cast<uint32_t>(v);
    return true;
}

bool Parser::Variable(const TypeInfo& type, bool isStatic, const std::string& name, const Token& nameToken)
{
    EffectParameter p;
    p.name = name;
    p.type = type.type;
    p.rows = type.rows;
    p.columns = type.columns;
    p.structName = type.structName;
    bool unsized = false;
    const Token sizeOpen = Peek();
    std::vector<uint32_t> sizes; // of an array of arrays
    Token sizeClose;             // an unsized array's ']' (the first, of an array of arrays)
    if (IsSymbol(sizeOpen, '[') && !ArraySize(p.arraySize, unsized, &sizes, &sizeClose))
        return false;
    if (!sizes.empty() && !IsNumericType(p.type))
        return Fail(sizeOpen, 3005, "'" + name + "': arrays of arrays of '" + std::string(type.written) +
                                        "' are not supported");
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
            // `register(s3)` or `register(ps_3_0, s3)`: a sampler's unit is
            // what follows the last comma, from `first` on, its tokens run
            // together in `written` (as far as a message quotes).
            const Token open = Next();
            Token first = Peek();
            std::string written;
            bool afterComma = false;
            for (int depth = 1; depth > 0; Next()) {
                const Token t = Peek();
                if (t.kind == TokenKind::End)
                    return Fail(open, 3000, "syntax error: '(' has no matching ')'");
                depth += t.Is('(') ? 1 : t.Is(')') ? -1 : 0;
                if (afterComma)
                    first = t;
                afterComma = depth == 1 && t.Is(',');
                if (afterComma)
                    written.clear();
                else if (depth > 0 && written.size() < 64)
                    written += t.text;
            }
            if (!IsSamplerType(p.type))
                continue;
            const std::string invalid = "invalid register '" + written + "': ";
            const std::string room = "a sampler takes s0 to s" + std::to_string(kMaxSamplerRegister);
            if (!SamplerRegister(written, p.samplerRegister))
                return Fail(first, 3530, invalid + room);
            // An array takes consecutive units from its register.
            const uint64_t elements = std::max<uint32_t>(p.arraySize, 1);
            if (p.samplerRegister + elements > kMaxSamplerRegister + 1)
                return Fail(first, 3530, invalid + "the " + std::to_string(elements) + " samplers of '" + name +
                                             "' would take s" + std::to_string(p.samplerRegister) + " to s" +
                                             std::to_string(p.samplerRegister + elements - 1) + ", and " + room);
            continue;
        }
        if (!ExpectName(p.semantic))
            return false;
    }
    if (IsSymbol(Peek(), '<') && !Annotations(p.annotations))
        return false;
    Symbol symbol;
    const bool numeric = IsNumericType(p.type);
    if (IsSamplerType(p.type) && IsSymbol(Peek(), '{')) {
        // The states without `= sampler_state`, as one framework's effects write them.
        if (!SamplerState(p, false))
            return false;
    } else if (IsSymbol(Peek(), '=')) {
        Next();
        const Token valueToken = Peek();
        if (IsSamplerType(p.type)) {
            if (!SamplerState(p))
                return false;
        } else if (p.type == EffectParameterType::String) {
            if (!StringInitialValue(p, unsized, valueToken))
                return false;
            unsized = false;
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
            ExpressionError shadersOnly;
            if (!InitialValue(ShapeOf(type, unsized ? kUnsizedArray : p.arraySize), program,
                              isStatic && !unsized ? &shadersOnly : nullptr))
                return false;
            if (shadersOnly.code != 0) {
                // Only the shaders compute it, at their entry points.
                symbol.kind = ExpressionName::Kind::Refused;
                symbol.why = "'" + name + "' has a value only in the shaders: " + shadersOnly.text;
                if (!AssignAtEntry(symbol, name, valueToken))
                    return ExpressionFailed(shadersOnly);
            } else if (isStatic && program.NamesParameters()) {
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
        if (!sizes.empty()) {
            // As many rows as its values fill.
            uint64_t row = 1;
            for (size_t k = 1; k < sizes.size(); ++k)
                row *= sizes[k];
            if (p.arraySize % row != 0)
                return Fail(nameToken, 3017, "'" + name + "': " + std::to_string(p.arraySize) +
                                                 " elements do not make rows of " + std::to_string(row));
            sizes[0] = static_cast<uint32_t>(p.arraySize / row);
        }
        if (!Fits(p, isStatic, nameToken))
            return false;
        // The shaders take no parameter of unstated size: its size goes in its brackets.
        if (!isStatic && numeric && folded_) {
            ExpressionValue size;
            size.shape.base = ValueBase::Int;
            size.components = {double(sizes.empty() ? p.arraySize : sizes[0])};
            folded_->push_back({sizeClose.offset, sizeClose.offset, std::move(size)});
        }
    }
    if (numeric)
        symbol.sizes = sizes;
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
        symbol.sizes = std::move(sizes);
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

// A string's initial value, or an array of strings' as a list whose braces
// nest in rows of any lengths, flattened as the platform's compiler takes it;
// an unsized array takes its size from the strings.
bool Parser::StringInitialValue(EffectParameter& p, bool unsized, const Token& valueToken)
{
    std::vector<std::string> items;
    if (!IsSymbol(Peek(), '{')) {
        items.emplace_back();
        if (!StringValue(items.back()))
            return false;
    } else {
        Next();
        for (size_t open = 1; open > 0;) {
            if (IsSymbol(Peek(), '{')) {
                Next();
                ++open;
                continue;
            }
            if (IsSymbol(Peek(), '}')) {
                Next();
                --open;
            } else {
                items.emplace_back();
                if (!StringValue(items.back()))
                    return false;
            }
            if (open > 0 && !IsSymbol(Peek(), '}') && !Expect(','))
                return false;
        }
    }
    if (unsized && (items.empty() || items.size() > kMaxEffectArraySize))
        return Fail(valueToken, 3005, "invalid array size");
    if (!unsized && items.size() != p.Elements())
        return Fail(valueToken, 3017, "'" + p.name + "' takes " + std::to_string(p.Elements()) + " strings, " +
                                          std::to_string(items.size()) + " given");
    p.arraySize = unsized ? static_cast<uint32_t>(items.size()) : p.arraySize;
    while (!items.empty() && items.back().empty())
        items.pop_back();
    p.strings = std::move(items);
    return true;
}

// The values a variable holds: a static struct's are the shaders' alone.
uint64_t Parser::ValuesOf(const EffectParameter& p, bool isStatic) const
{
    uint64_t each = p.FloatsPerElement();
    if (p.type == EffectParameterType::Struct && !isStatic)
        each = structs_[structNames_.Find(p.structName)].floats;
    return each * p.Elements();
}

// Whether a variable's values are within the bounds: of one, and of the
// parameter table, kept as it fills so that no declaration after it
// costs its values' memory.
bool Parser::Fits(const EffectParameter& p, bool isStatic, const Token& nameToken)
{
    const uint64_t floats = ValuesOf(p, isStatic);
    if (floats > kMaxEffectParameterFloats)
        return Fail(nameToken, 3005, "'" + p.name + "' is too large");
    if (!isStatic && parameterFloats_ + floats > kMaxEffectParameterFloats)
        return Fail(nameToken, 3005, "the parameters hold too many values");
    return true;
}

} // namespace gfx::parse
