// The effect parser's structs: their declarations, the layouts of the values a
// parameter of one keeps, the parts of one an expression names, its initial values.
#include <algorithm>
#include <cmath>
#include <set>

#include "platform/gfx/fx/parser/effect_reader.h"
#include "platform/gfx/fx/parser/struct_layouts.h"

namespace gfx::parse {
namespace {

// A whole number written in decimal, as a path's index.
bool ParsedNumber(std::string_view text, float& value)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    value = float(std::stoul(std::string(text)));
    return true;
}

} // namespace

// `struct S { ... };`, and variables declared with it: `struct S { ... } U;`
// or, of a struct with no name, `struct { ... } U;`.
bool Parser::Struct()
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
        out_.structs.push_back({name, alone ? KeptText(SourceBetween(first, Peek()))
                                            : KeptText(SourceBetween(first, end)) + ";"});
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

// What a part of a struct parameter that `path` names means in an
// expression: "fog.colour", "lights[1]", "lights[1].range".
ExpressionName Parser::StructPartNamed(std::string_view path) const
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
uint32_t Parser::StructNamed(const Token& t) const
{
    if (t.kind != TokenKind::Identifier)
        return NameTable::kNone;
    if (const uint32_t found = typedefIndex_.Find(t.text); found != NameTable::kNone)
        return typedefs_[found].type == EffectParameterType::Struct ? structNames_.Find(typedefs_[found].structName)
                                                                     : NameTable::kNone;
    return structNames_.Find(t.text);
}

// The members' initial values as their types keep them: bools 0 or 1,
// ints whole.
void Parser::ConvertStructDefaults()
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

Parser::StructInfo Parser::ReadStructLayout(const std::string& name, const std::vector<Token>& body)
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
void Parser::ReadMembers(const std::vector<Token>& body, size_t at, size_t end, StructInfo& info)
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
bool Parser::MemberType(const std::vector<Token>& body, size_t& at, size_t end, EffectMember& out, uint32_t& depth,
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

bool Parser::StructMember(const std::string& structName, EffectMember& out, uint32_t& depth, std::string& why)
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
bool Parser::MemberArraySize(const std::vector<Token>& body, size_t& at, size_t end, EffectMember& member,
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
    if (!FoldedSize(std::vector<Token>(body.begin() + long(at + 1), body.begin() + long(close)), member.arraySize)) {
        why = "the array size of its member '" + member.name + "' is not a constant whole number from 1 to " +
              std::to_string(kMaxEffectArraySize);
        return false;
    }
    at = close + 1;
    if (at < end && IsSymbol(body[at], '[')) {
        why = "its member '" + member.name + "' is an array of arrays";
        return false;
    }
    return true;
}

// The struct types of a parameter of `structIndex` in the description,
// those it holds first.
void Parser::LayOut(uint32_t structIndex)
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

// A struct parameter's initial value: numbers for its members in turn,
// element after element, in a list that may nest and hold vectors and
// matrices, flattened. Of an array of unstated size, whole elements.
bool Parser::StructInitialValue(EffectParameter& p, bool unsized, const Token& valueToken, const StructInfo& info)
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

} // namespace gfx::parse
