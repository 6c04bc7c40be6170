#include "platform/gfx/fx/expression/compiler.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/expression/operators.h"
#include "platform/gfx/fx/syntax/matrix_swizzle.h"

namespace gfx {
namespace expr {

bool ExpressionCompiler::Whole(bool comma, Expression& out)
{
    if (!(comma ? Comma() : Assignment()))
        return false;
    return builder_.Finish(Peek(), out);
}

bool ExpressionCompiler::Initializer(const ValueShape& target, Expression& out)
{
    const Token at = Peek();
    ValueShape shape = target;
    if (!InitialValue(shape, at))
        return false;
    return builder_.Finish(Peek(), out);
}

// ---- Tokens ----

Token ExpressionCompiler::Next()
{
    builder_.Step();
    return tokens_->Next();
}

bool ExpressionCompiler::IsPair(char a, char b)
{
    const Token& first = Peek();
    if (!IsSymbol(first, a))
        return false;
    const Token& second = Peek(1);
    return IsSymbol(second, b) && second.offset == first.offset + 1 && second.line == first.line;
}

bool ExpressionCompiler::Unexpected(const Token& at)
{
    if (at.kind == TokenKind::End)
        return Fail(at, 3000, "syntax error: unexpected end of expression");
    return Fail(at, 3000, "syntax error: unexpected token '" + std::string(at.text) + "'");
}

bool ExpressionCompiler::Expect(char c)
{
    if (!IsSymbol(Peek(), c))
        return Unexpected(Peek());
    Next();
    return true;
}

// ---- Expressions, from the comma down ----

bool ExpressionCompiler::Enter(const Token& at)
{
    if (++depth_ > kMaxExpressionNesting)
        return Fail(at, 3000, "expression nested too deeply (more than " +
                                  std::to_string(kMaxExpressionNesting) + " levels)");
    return true;
}

bool ExpressionCompiler::Comma()
{
    if (!Assignment())
        return false;
    while (IsSymbol(Peek(), ',')) {
        const Token at = Next();
        if (!builder_.Emit({Op::Pop, 0, 0}, at) || !Assignment())
            return false;
    }
    return true;
}

bool ExpressionCompiler::Assignment()
{
    if (!Enter(Peek()))
        return false;
    if (!Conditional())
        return false;
    if (IsSymbol(Peek(), '=') && !IsPair('=', '='))
        return Fail(Peek(), 3025, "an assignment is not a constant expression");
    --depth_;
    return true;
}

bool ExpressionCompiler::Conditional()
{
    if (!Binary(0))
        return false;
    if (!IsSymbol(Peek(), '?'))
        return true;
    const Token at = Next();
    if (!Enter(at) || !Comma() || !Expect(':') || !Conditional())
        return false;
    --depth_;
    return builder_.Emit({Op::Select, 0, 0}, at);
}

// The binary operator at the current token for precedence `level`
// (0 lowest), and how many tokens it spans.
bool ExpressionCompiler::BinaryAt(int level, uint32_t& op, int& length)
{
    const Token& t = Peek();
    if (t.kind != TokenKind::Symbol)
        return false;
    length = 1;
    auto pair = [&](char a, char b, uint32_t which) {
        if (!IsPair(a, b))
            return false;
        op = which;
        length = 2;
        return true;
    };
    auto single = [&](char c, uint32_t which, std::initializer_list<char> notBefore) {
        if (!IsSymbol(t, c))
            return false;
        for (char next : notBefore)
            if (IsPair(c, next))
                return false;
        op = which;
        return true;
    };
    switch (level) {
    case 0: return pair('|', '|', kOr);
    case 1: return pair('&', '&', kAnd);
    case 2: return single('|', kBitOr, {'|', '='});
    case 3: return single('^', kBitXor, {'='});
    case 4: return single('&', kBitAnd, {'&', '='});
    case 5: return pair('=', '=', kEqual) || pair('!', '=', kNotEqual);
    case 6:
        if (IsPair('<', '<') || IsPair('>', '>'))
            return false;
        return pair('<', '=', kLessEqual) || pair('>', '=', kGreaterEqual) || single('<', kLess, {}) ||
               single('>', kGreater, {});
    case 7: return pair('<', '<', kShiftLeft) || pair('>', '>', kShiftRight);
    case 8: return single('+', kAdd, {'=', '+'}) || single('-', kSubtract, {'=', '-'});
    case 9: return single('*', kMultiply, {'='}) || single('/', kDivide, {'='}) || single('%', kRemainder, {'='});
    default: return false;
    }
}

bool ExpressionCompiler::Binary(int level)
{
    if (level > 9)
        return Unary();
    if (!Binary(level + 1))
        return false;
    uint32_t op = 0;
    int length = 0;
    while (BinaryAt(level, op, length)) {
        const Token at = Next();
        if (length == 2)
            Next();
        if (!Binary(level + 1) || !builder_.Emit({Op::Binary, op, 0}, at))
            return false;
    }
    return true;
}

// The shape a type name spells: built in, or a typedef of the effect.
bool ExpressionCompiler::TypeNamed(std::string_view name, ValueShape& shape, bool& refused, std::string& why)
{
    refused = false;
    if (BuiltInShape(name, shape))
        return true;
    const ExpressionName meaning = names_.Find(name);
    if (meaning.kind == ExpressionName::Kind::Type) {
        shape = meaning.shape;
        return true;
    }
    if (meaning.kind == ExpressionName::Kind::Refused && IsTypeWord(name)) {
        refused = true;
        why = std::string(meaning.text);
    }
    return false;
}

bool ExpressionCompiler::IsTypeWord(std::string_view name)
{
    static const std::string_view kObjects[] = {"texture", "texture1D", "texture2D", "texture3D", "textureCUBE",
                                                "sampler", "sampler1D", "sampler2D", "sampler3D", "samplerCUBE",
                                                "string", "void", "struct"};
    return std::find(std::begin(kObjects), std::end(kObjects), name) != std::end(kObjects);
}

bool ExpressionCompiler::Unary()
{
    const Token t = Peek();
    if (!Enter(t))
        return false;
    bool ok = false;
    if (IsPair('+', '+') || IsPair('-', '-')) {
        return Fail(t, 3025, "'" + std::string(t.text) + std::string(t.text) + "' is not a constant expression");
    } else if (IsSymbol(t, '-') || IsSymbol(t, '+') || IsSymbol(t, '!') || IsSymbol(t, '~')) {
        Next();
        const uint32_t op = t.text[0] == '-' ? kNegate : t.text[0] == '+' ? kPlus : t.text[0] == '!' ? kNot : kComplement;
        ok = Unary() && builder_.Emit({Op::Unary, op, 0}, t);
    } else if (IsSymbol(t, '(')) {
        Next();
        ValueShape shape;
        bool refused = false;
        std::string why;
        const Token typeToken = Peek();
        if (typeToken.kind == TokenKind::Identifier && !IsSymbol(Peek(1), '(') &&
            TypeNamed(typeToken.text, shape, refused, why)) {
            ok = Cast(shape, t);
        } else {
            ok = Comma() && Expect(')') && Postfix();
        }
    } else {
        ok = Postfix(true);
    }
    if (!ok)
        return false;
    --depth_;
    return true;
}

// `(type)value` or `(type[N])value`, the '(' and the type's name read.
bool ExpressionCompiler::Cast(ValueShape shape, const Token& open)
{
    const Token typeToken = Next();
    if ((typeToken.text == "vector" || typeToken.text == "matrix") && IsSymbol(Peek(), '<') &&
        !Template(typeToken, shape))
        return false;
    if (IsSymbol(Peek(), '[')) {
        Next();
        uint32_t size = 0;
        if (!ConstantSize(size) || !Expect(']'))
            return false;
        shape.arraySize = size;
    }
    if (!Expect(')') || !Unary())
        return false;
    return builder_.ConvertTo(shape, open, true);
}

// A size inside brackets, constant: what an array cast or a template gives.
bool ExpressionCompiler::ConstantSize(uint32_t& size)
{
    const Token at = Peek();
    if (!Comma())
        return false;
    const ValueShape top = builder_.Top();
    ExpressionValue value;
    if (top.Components() != 1 || top.base == ValueBase::Float || !builder_.TakeConstant(value))
        return Fail(at, 3058, "an array size is an integer constant");
    const double v = value.components[0];
    if (v < 1 || v > kMaxExpressionArraySize)
        return Fail(at, 3059, "array size " + std::to_string(static_cast<long long>(v)) + " is out of range (1 to " +
                                  std::to_string(kMaxExpressionArraySize) + ")");
    size = static_cast<uint32_t>(v);
    return true;
}

// `vector<float, 3>` or `matrix<float, 2, 3>` past its name.
bool ExpressionCompiler::Template(const Token& name, ValueShape& shape)
{
    Next(); // '<'
    const Token element = Peek();
    ValueShape scalar;
    if (element.kind != TokenKind::Identifier || !BuiltInShape(element.text, scalar) || scalar.ElementComponents() != 1)
        return Fail(element, 3000, "syntax error: scalar type expected");
    Next();
    shape = ValueShape();
    shape.base = scalar.base;
    shape.matrix = name.text == "matrix";
    for (int dimension = 0; dimension < (shape.matrix ? 2 : 1); ++dimension) {
        if (!Expect(','))
            return false;
        const Token n = Peek();
        if (n.kind != TokenKind::Number || n.text.size() != 1 || n.text[0] < '1' || n.text[0] > '4')
            return Fail(n, 3005, "invalid size: 1 to 4 expected");
        Next();
        (shape.matrix && dimension == 0 ? shape.rows : shape.columns) = static_cast<uint8_t>(n.text[0] - '0');
    }
    return Expect('>');
}

bool ExpressionCompiler::Postfix(bool primary)
{
    if (primary && !Primary())
        return false;
    for (;;) {
        const Token t = Peek();
        if (IsSymbol(t, '.')) {
            Token member;
            uint32_t packed = 0;
            if (!SwizzleOf(builder_.Top(), member, packed))
                return false;
            if (!builder_.Emit({Op::Swizzle, packed, 0}, member))
                return false;
        } else if (IsSymbol(t, '[')) {
            Next();
            if (!Comma() || !Expect(']') || !builder_.Emit({Op::Index, 0, 0}, t))
                return false;
        } else if (IsPair('+', '+') || IsPair('-', '-')) {
            return Fail(t, 3025, "'" + std::string(t.text) + std::string(t.text) + "' is not a constant expression");
        } else {
            return true;
        }
    }
}

bool ExpressionCompiler::SwizzleOf(const ValueShape& shape, Token& member, uint32_t& packed)
{
    Next(); // '.'
    member = Peek();
    if (member.kind != TokenKind::Identifier)
        return Unexpected(member);
    Next();
    const std::string_view s = member.text;
    const std::string name(s);
    auto refuse = [&] { return Fail(member, kInvalidSubscriptCode, InvalidSubscriptText(name, ShapeName(shape))); };
    if (shape.arraySize != 0)
        return refuse();
    std::vector<uint32_t> picks;
    if (shape.matrix) {
        for (const MatrixElement& e : ReadMatrixSwizzle(s).elements) {
            if (e.row >= shape.rows || e.column >= shape.columns)
                return refuse();
            picks.push_back(uint32_t(e.row) * shape.columns + e.column);
        }
    } else if (!shape.matrix) {
        static const std::string_view kSets[] = {"xyzw", "rgba"};
        int set = -1;
        for (char c : s) {
            int found = -1;
            for (int k = 0; k < 2 && found < 0; ++k) {
                const size_t at = kSets[k].find(c);
                if (at != std::string_view::npos && (set < 0 || set == k)) {
                    found = static_cast<int>(at);
                    set = k;
                }
            }
            if (found < 0 || found >= shape.columns)
                return refuse();
            picks.push_back(static_cast<uint32_t>(found));
        }
    }
    if (picks.empty() || picks.size() > 4)
        return refuse();
    packed = static_cast<uint32_t>(picks.size());
    for (size_t k = 0; k < picks.size(); ++k)
        packed |= picks[k] << (3 + 4 * k);
    return true;
}

bool ExpressionCompiler::PushIndex(uint32_t value, const Token& at)
{
    ExpressionValue index;
    index.shape.base = ValueBase::Int;
    index.components = {double(value)};
    return builder_.PushConstant(std::move(index), at);
}

bool ExpressionCompiler::ElementOfRows(const std::vector<uint32_t>& sizes, const Token& name)
{
    if (!IsSymbol(Peek(), '['))
        return true; // its rows one after another
    // The element's place among them, i * D1 + j (for three sizes, (i * D1 + j) * D2 + k).
    ValueShape whole;
    whole.base = ValueBase::Int;
    Token open;
    for (size_t k = 0; k < sizes.size(); ++k) {
        if (!IsSymbol(Peek(), '['))
            return Fail(Peek(), 3025, "'" + std::string(name.text) +
                                          "' is an array of arrays: a value names one of its elements, an index "
                                          "for each of its " + std::to_string(sizes.size()) + " sizes");
        open = Next();
        const Token first = Peek();
        if (!Comma() || !Expect(']'))
            return false;
        if (builder_.Top().Components() != 1)
            return Fail(first, 3020, "an index is a scalar");
        ExpressionValue known;
        uint32_t element = 0;
        if (builder_.TakeConstant(known)) {
            if (!builder_.ElementAt(known.components[0], sizes[k], first, element) || !PushIndex(element, first))
                return false;
        } else if (!builder_.ConvertTo(whole, first, true)) {
            return false;
        }
        if (k > 0 && !builder_.Emit({Op::Binary, kAdd, 0}, open))
            return false;
        if (k + 1 < sizes.size() && (!PushIndex(sizes[k + 1], open) || !builder_.Emit({Op::Binary, kMultiply, 0}, open)))
            return false;
    }
    return builder_.Emit({Op::Index, 0, 0}, open);
}

bool ExpressionCompiler::Number(const Token& t)
{
    std::string s(t.text);
    ExpressionValue value;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const bool isFloat = !hex && (s.find_first_of(".eE") != std::string::npos ||
                                  s.find_first_of("fFhH") != std::string::npos);
    bool isUnsigned = false;
    while (!s.empty() && std::string_view(hex ? "uUlL" : "fFhHlLuU").find(s.back()) != std::string_view::npos) {
        isUnsigned = isUnsigned || s.back() == 'u' || s.back() == 'U';
        s.pop_back();
    }
    char* end = nullptr;
    double v = 0;
    const char* digits = s.c_str() + (hex ? 2 : 0);
    if (isFloat) {
        v = std::strtod(s.c_str(), &end);
    } else {
        errno = 0;
        const unsigned long long whole = std::strtoull(digits, &end, hex ? 16 : 10);
        if (errno == ERANGE || whole > 4294967295ull)
            return Fail(t, 3000, "integer constant '" + std::string(t.text) + "' is too large");
        v = static_cast<double>(whole);
    }
    if (s.empty() || end == nullptr || *end != '\0' || end == digits || !std::isfinite(static_cast<float>(v)))
        return Fail(t, 3000, "invalid number '" + std::string(t.text) + "'");
    value.shape.base = isFloat ? ValueBase::Float
                       : isUnsigned || v > 2147483647.0 ? ValueBase::Uint
                                                        : ValueBase::Int;
    value.components.assign(1, ToBase(v, value.shape.base));
    Next();
    return builder_.PushConstant(std::move(value), t);
}

bool ExpressionCompiler::Primary()
{
    const Token t = Peek();
    if (t.kind == TokenKind::Number)
        return Number(t);
    if (t.kind != TokenKind::Identifier) {
        if (IsSymbol(t, '{'))
            return Fail(t, 3000, "syntax error: a list in braces is not an expression here");
        return Unexpected(t);
    }
    if (t.text == "true" || t.text == "false") {
        Next();
        ExpressionValue value;
        value.shape.base = ValueBase::Bool;
        value.components.assign(1, t.text == "true" ? 1.0 : 0.0);
        return builder_.PushConstant(std::move(value), t);
    }
    const std::string name(t.text);
    Next();
    for (size_t k = locals_.size(); k > frame_; --k)
        if (locals_[k - 1].name == t.text) {
            const std::vector<uint32_t> sizes = locals_[k - 1].sizes;
            return builder_.Load(locals_[k - 1].slot, t) && (sizes.empty() || ElementOfRows(sizes, t));
        }
    ValueShape shape;
    bool refused = false;
    std::string why;
    const bool isType = TypeNamed(t.text, shape, refused, why);
    if (isType && (t.text == "vector" || t.text == "matrix") && IsSymbol(Peek(), '<') && !Template(t, shape))
        return false;
    if (IsSymbol(Peek(), '(')) {
        if (isType)
            return Constructor(shape, t);
        const uint32_t intrinsic = FindIntrinsic(t.text);
        if (intrinsic != kIntrinsicCount)
            return Intrinsic(intrinsic, t);
        const ExpressionName meaning = names_.Find(t.text);
        if (meaning.kind == ExpressionName::Kind::Function)
            return Inline(meaning, t);
        if (IsShaderOnlyIntrinsic(t.text))
            return Fail(t, 3025, "'" + name + "' has no constant value: only a shader can call it");
        if (meaning.kind == ExpressionName::Kind::Refused)
            return Fail(t, 3025, std::string(meaning.text));
        if (meaning.kind != ExpressionName::Kind::Unknown)
            return Fail(t, 3025, "'" + name + "' is not a function");
        return Fail(t, 3004, "undeclared identifier '" + name + "'");
    }
    if (isType)
        return Fail(t, 3000, "syntax error: '" + name + "' is a type, not a value");
    if (refused)
        return Fail(t, 3025, why);
    const ExpressionName meaning = names_.Find(t.text);
    const auto rows = [&] { return !meaning.sizes || ElementOfRows(*meaning.sizes, t); };
    switch (meaning.kind) {
    case ExpressionName::Kind::Constant:
        return builder_.PushConstant(*meaning.value, t) && rows();
    case ExpressionName::Kind::Parameter:
        return builder_.Emit({Op::Parameter, meaning.parameter, PackShape(meaning.shape)}, t, &meaning.shape) && rows();
    case ExpressionName::Kind::Derived:
        return builder_.Splice(*meaning.program, t) && rows();
    case ExpressionName::Kind::Struct:
        return StructPart(t, meaning);
    case ExpressionName::Kind::Function:
        return Fail(t, 3025, "'" + name + "' is a function: its value needs a call");
    case ExpressionName::Kind::Refused:
        return Fail(t, 3025, std::string(meaning.text));
    default:
        break;
    }
    if (FindIntrinsic(t.text) != kIntrinsicCount || IsShaderOnlyIntrinsic(t.text))
        return Fail(t, 3025, "'" + name + "' is an intrinsic function: its value needs a call");
    return Fail(t, 3004, "undeclared identifier '" + name + "'");
}

bool ExpressionCompiler::StructPart(const Token& name, ExpressionName meaning)
{
    std::string path(name.text);
    // Structs, and arrays of numbers in them, are named on to one number,
    // vector or matrix.
    while (meaning.kind == ExpressionName::Kind::Struct ||
           (meaning.shape.arraySize != 0 && IsSymbol(Peek(), '[') && Peek(1).kind == TokenKind::Number)) {
        const Token at = Peek();
        if (IsSymbol(at, '.') && Peek(1).kind == TokenKind::Identifier) {
            Next();
            path += "." + std::string(Next().text);
        } else if (IsSymbol(at, '[') && Peek(1).kind == TokenKind::Number) {
            Next();
            path += "[" + std::string(Next().text) + "]";
            if (!Expect(']'))
                return false;
        } else {
            return Fail(at, 3025, "'" + path + "' is a struct: a value names one of its members" +
                                      (IsSymbol(at, '[') ? ", and its elements by number" : ""));
        }
        meaning = names_.Find(path);
        if (meaning.kind != ExpressionName::Kind::Struct && meaning.kind != ExpressionName::Kind::Parameter)
            return Fail(at, 3018, "'" + path + "' names no member of the parameter");
    }
    const ValueShape shape = meaning.shape;
    if (shape.arraySize != 0)
        return Fail(Peek(), 3025, "'" + path + "' is an array: a value names its elements by number");
    if (meaning.first == 0)
        return builder_.Emit({Op::Parameter, meaning.parameter, PackShape(shape)}, name, &shape);
    // Each value at its place: read through an array of the parameter's
    // values as far as it, then put together.
    const uint32_t count = shape.ElementComponents();
    if (uint64_t{meaning.first} + count > kMaxExpressionArraySize)
        return Fail(name, 3025, "'" + path + "' lies past the first " + std::to_string(kMaxExpressionArraySize) +
                                    " values of its parameter, more than a value reads");
    for (uint32_t c = 0; c < count; ++c) {
        ValueShape values;
        values.arraySize = meaning.first + c + 1;
        ExpressionValue index;
        index.shape.base = ValueBase::Int;
        index.components.assign(1, double(meaning.first + c));
        if (!builder_.Emit({Op::Parameter, meaning.parameter, PackShape(values)}, name, &values) ||
            !builder_.PushConstant(std::move(index), name) || !builder_.Emit({Op::Index, 0, 0}, name))
            return false;
    }
    ValueShape floats = shape;
    floats.base = ValueBase::Float;
    if (count > 1 && !builder_.Emit({Op::Construct, PackShape(floats), count}, name))
        return false;
    return builder_.ConvertTo(shape, name, false);
}

// The arguments of a call up to its ')': each left on the stack.
bool ExpressionCompiler::Arguments(uint32_t& count)
{
    Next(); // '('
    count = 0;
    if (IsSymbol(Peek(), ')')) {
        Next();
        return true;
    }
    for (;;) {
        if (!Assignment())
            return false;
        ++count;
        if (!IsSymbol(Peek(), ','))
            break;
        Next();
    }
    return Expect(')');
}

bool ExpressionCompiler::Constructor(const ValueShape& shape, const Token& at)
{
    uint32_t count = 0;
    if (!Arguments(count))
        return false;
    uint64_t given = 0;
    for (uint32_t k = 0; k < count; ++k)
        given += builder_.Top(k).Components();
    if (given != shape.Components() && !(count == 1 && given == 1))
        return Fail(at, 3014, "incorrect number of arguments to numeric-type constructor: '" + ShapeName(shape) +
                                  "' takes " + std::to_string(shape.Components()) + " values, " +
                                  std::to_string(given) + " given");
    return builder_.Emit({Op::Construct, PackShape(shape), count}, at);
}

bool ExpressionCompiler::Intrinsic(uint32_t which, const Token& at)
{
    uint32_t count = 0;
    if (!Arguments(count))
        return false;
    if (count != kIntrinsics[which].arguments)
        return Fail(at, 3013, "'" + std::string(kIntrinsics[which].name) + "' takes " +
                                  std::to_string(kIntrinsics[which].arguments) + " arguments, " +
                                  std::to_string(count) + " given");
    return builder_.Emit({Op::Call, which, count}, at);
}

bool ExpressionCompiler::List(uint32_t& parts, uint64_t& components, int depth)
{
    const Token open = Next(); // '{'
    if (depth > kMaxExpressionNesting)
        return Fail(open, 3000, "initializer nested too deeply");
    while (!IsSymbol(Peek(), '}')) {
        if (IsSymbol(Peek(), '{')) {
            if (!List(parts, components, depth + 1))
                return false;
        } else {
            if (!Assignment())
                return false;
            ++parts;
            components += builder_.Top().Components();
            if (components > kMaxExpressionComponents)
                return Fail(open, 3005, "too many initial values (more than " +
                                            std::to_string(kMaxExpressionComponents) + ")");
        }
        if (!IsSymbol(Peek(), ','))
            break;
        Next();
    }
    return Expect('}');
}

} // namespace expr

bool CompileExpression(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                       Expression& out, ExpressionError& error, bool comma)
{
    expr::ExpressionCompiler compiler(tokens, names, budget, error);
    return compiler.Whole(comma, out);
}

bool CompileInitializer(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                        const ValueShape& target, Expression& out, ExpressionError& error)
{
    expr::ExpressionCompiler compiler(tokens, names, budget, error);
    return compiler.Initializer(target, out);
}

} // namespace gfx
