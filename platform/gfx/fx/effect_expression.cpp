#include "platform/gfx/fx/effect_expression.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace gfx {

// ---- Shapes and conversions ----

std::string ShapeName(const ValueShape& shape)
{
    static const char* const kBase[] = {"bool", "int", "uint", "float"};
    std::string name = kBase[static_cast<int>(shape.base)];
    if (shape.matrix)
        name += std::to_string(shape.rows) + "x" + std::to_string(shape.columns);
    else if (shape.columns > 1)
        name += std::to_string(shape.columns);
    if (shape.arraySize != 0)
        name += "[" + std::to_string(shape.arraySize) + "]";
    return name;
}

bool BuiltInShape(std::string_view name, ValueShape& shape)
{
    shape = ValueShape();
    if (name == "vector") {
        shape.columns = 4;
        return true;
    }
    if (name == "matrix") {
        shape.rows = shape.columns = 4;
        shape.matrix = true;
        return true;
    }
    static const std::pair<std::string_view, ValueBase> kScalars[] = {
        {"bool", ValueBase::Bool},  {"int", ValueBase::Int},     {"uint", ValueBase::Uint},
        {"dword", ValueBase::Uint}, {"half", ValueBase::Float},  {"float", ValueBase::Float},
        {"double", ValueBase::Float}, {"min16float", ValueBase::Float}, {"min10float", ValueBase::Float},
        {"min16int", ValueBase::Int}, {"min12int", ValueBase::Int}, {"min16uint", ValueBase::Uint},
    };
    auto dim = [](char c) { return c >= '1' && c <= '4'; };
    for (const auto& [base, type] : kScalars) {
        if (name.substr(0, base.size()) != base)
            continue;
        const std::string_view suffix = name.substr(base.size());
        if (suffix.empty()) {
        } else if (suffix.size() == 1 && dim(suffix[0]) && base != "dword") {
            shape.columns = static_cast<uint8_t>(suffix[0] - '0');
        } else if (suffix.size() == 3 && dim(suffix[0]) && suffix[1] == 'x' && dim(suffix[2]) && base != "dword") {
            shape.rows = static_cast<uint8_t>(suffix[0] - '0');
            shape.columns = static_cast<uint8_t>(suffix[2] - '0');
            shape.matrix = true;
        } else {
            continue;
        }
        shape.base = type;
        return true;
    }
    return false;
}

std::vector<float> ExpressionValue::Floats() const
{
    std::vector<float> out(components.size());
    for (size_t k = 0; k < components.size(); ++k)
        out[k] = static_cast<float>(components[k]);
    return out;
}

namespace {

// Shapes travel in one word: base, rows, columns, matrix, array size.
uint32_t PackShape(const ValueShape& s)
{
    return static_cast<uint32_t>(s.base) | uint32_t(s.rows - 1) << 2 | uint32_t(s.columns - 1) << 4 |
           uint32_t(s.matrix) << 6 | s.arraySize << 7;
}

bool UnpackShape(uint32_t packed, ValueShape& s)
{
    s.base = static_cast<ValueBase>(packed & 3);
    s.rows = static_cast<uint8_t>((packed >> 2 & 3) + 1);
    s.columns = static_cast<uint8_t>((packed >> 4 & 3) + 1);
    s.matrix = (packed >> 6 & 1) != 0;
    s.arraySize = packed >> 7;
    return s.arraySize <= kMaxExpressionArraySize && (s.matrix || s.rows == 1) &&
           s.Components() <= kMaxExpressionComponents;
}

// A value of `base` from any number: what HLSL's conversions give, with no
// undefined behaviour for NaN or for numbers out of range.
double ToBase(double v, ValueBase base)
{
    switch (base) {
    case ValueBase::Bool:
        return v != 0 ? 1.0 : 0.0;
    case ValueBase::Int:
        if (std::isnan(v))
            return 0;
        v = std::trunc(v);
        if (v >= 2147483648.0 && v <= 4294967295.0)
            return v - 4294967296.0; // a uint's bits read as an int
        return std::clamp(v, -2147483648.0, 2147483647.0);
    case ValueBase::Uint:
        if (std::isnan(v))
            return 0;
        v = std::trunc(v);
        if (v < 0 && v >= -2147483648.0)
            return v + 4294967296.0; // an int's bits read as a uint
        return std::clamp(v, 0.0, 4294967295.0);
    case ValueBase::Float:
        return static_cast<double>(static_cast<float>(v));
    }
    return 0;
}

int32_t AsInt(double v) { return static_cast<int32_t>(static_cast<int64_t>(ToBase(v, ValueBase::Int))); }
uint32_t AsUint(double v) { return static_cast<uint32_t>(static_cast<int64_t>(ToBase(v, ValueBase::Uint))); }

// The base two operands meet in: float over uint over int; bool counts as int.
ValueBase CommonBase(ValueBase a, ValueBase b)
{
    if (a == ValueBase::Float || b == ValueBase::Float)
        return ValueBase::Float;
    if (a == ValueBase::Uint || b == ValueBase::Uint)
        return ValueBase::Uint;
    return ValueBase::Int;
}

enum UnaryOp : uint32_t { kNegate, kPlus, kNot, kComplement, kUnaryCount };
enum BinaryOp : uint32_t {
    kAdd, kSubtract, kMultiply, kDivide, kRemainder,
    kLess, kGreater, kLessEqual, kGreaterEqual, kEqual, kNotEqual,
    kAnd, kOr, kBitAnd, kBitOr, kBitXor, kShiftLeft, kShiftRight,
    kBinaryCount
};
const char* const kBinarySpelling[] = {"+", "-", "*", "/", "%", "<", ">", "<=", ">=", "==", "!=",
                                       "&&", "||", "&", "|", "^", "<<", ">>"};

bool IsComparison(uint32_t op) { return op >= kLess && op <= kNotEqual; }
bool IsLogical(uint32_t op) { return op == kAnd || op == kOr; }
bool IsBitwise(uint32_t op) { return op >= kBitAnd; }

// The intrinsics with a constant meaning.
enum Intrinsic : uint32_t {
    // One float argument, component by component.
    kSin, kCos, kTan, kAsin, kAcos, kAtan, kSinh, kCosh, kTanh, kSqrt, kRsqrt, kExp, kExp2,
    kLog, kLog2, kLog10, kFloor, kCeil, kFrac, kRound, kTrunc, kSaturate, kDegrees, kRadians, kRcp,
    kLastFloatUnary = kRcp,
    // One argument of any arithmetic base, kept.
    kAbs,
    kSign, // gives int
    kIsNan, kIsInf, kIsFinite, // give bool
    // Two or three arguments, component by component.
    kAtan2, kPow, kFmod, kStep, kLdexp, kMin, kMax, kClamp, kLerp, kSmoothstep, kMad,
    // Others.
    kDot, kCross, kLength, kDistance, kNormalize, kMul, kTranspose, kDeterminant, kAny, kAll,
    kReflect, kRefract, kFaceforward, kAsFloat, kAsInt, kAsUint,
    kIntrinsicCount
};
struct IntrinsicInfo {
    std::string_view name;
    uint8_t arguments;
};
const IntrinsicInfo kIntrinsics[kIntrinsicCount] = {
    {"sin", 1}, {"cos", 1}, {"tan", 1}, {"asin", 1}, {"acos", 1}, {"atan", 1}, {"sinh", 1},
    {"cosh", 1}, {"tanh", 1}, {"sqrt", 1}, {"rsqrt", 1}, {"exp", 1}, {"exp2", 1}, {"log", 1},
    {"log2", 1}, {"log10", 1}, {"floor", 1}, {"ceil", 1}, {"frac", 1}, {"round", 1}, {"trunc", 1},
    {"saturate", 1}, {"degrees", 1}, {"radians", 1}, {"rcp", 1},
    {"abs", 1}, {"sign", 1}, {"isnan", 1}, {"isinf", 1}, {"isfinite", 1},
    {"atan2", 2}, {"pow", 2}, {"fmod", 2}, {"step", 2}, {"ldexp", 2}, {"min", 2}, {"max", 2},
    {"clamp", 3}, {"lerp", 3}, {"smoothstep", 3}, {"mad", 3},
    {"dot", 2}, {"cross", 2}, {"length", 1}, {"distance", 2}, {"normalize", 1}, {"mul", 2},
    {"transpose", 1}, {"determinant", 1}, {"any", 1}, {"all", 1}, {"reflect", 2}, {"refract", 3},
    {"faceforward", 3}, {"asfloat", 1}, {"asint", 1}, {"asuint", 1},
};

uint32_t FindIntrinsic(std::string_view name)
{
    for (uint32_t k = 0; k < kIntrinsicCount; ++k)
        if (kIntrinsics[k].name == name)
            return k;
    return kIntrinsicCount;
}

// Names that only the shaders can use: never a constant, and never a type.
bool IsShaderOnlyIntrinsic(std::string_view name)
{
    static const std::string_view kNames[] = {
        "tex1D", "tex2D", "tex3D", "texCUBE", "tex2Dlod", "tex2Dproj", "tex2Dbias", "tex2Dgrad",
        "texCUBElod", "texCUBEbias", "tex1Dlod", "tex3Dlod", "ddx", "ddy", "fwidth", "clip",
        "noise", "lit", "dst", "sincos", "modf", "frexp", "frexp", "D3DCOLORtoUBYTE4", "tex1Dproj",
        "tex3Dproj", "texCUBEproj", "tex1Dbias", "tex3Dbias", "tex1Dgrad", "tex3Dgrad", "texCUBEgrad"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Where component (row, column) of a result comes from in an operand of
// `shape`: a scalar stands for all, a vector is read by column (and a one-row
// or one-column matrix like one), a matrix by row and column.
inline uint32_t Source(const ValueShape& shape, uint32_t row, uint32_t column)
{
    if (shape.ElementComponents() == 1)
        return 0;
    if (!shape.matrix || shape.rows == 1)
        return column;
    if (shape.columns == 1) // a one-column matrix: by row, or by column as a vector
        return row + column;
    return row * shape.columns + column;
}

bool VectorLike(const ValueShape& s) { return !s.matrix || s.rows == 1 || s.columns == 1; }
uint32_t VectorSize(const ValueShape& s) { return s.ElementComponents(); }

// The shape of a component-by-component result of operands `a` and `b`, with
// HLSL's truncation of the larger; false when they do not meet.
bool MeetShapes(const ValueShape& a, const ValueShape& b, ValueShape& out, std::string& why)
{
    if (a.arraySize != 0 || b.arraySize != 0) {
        why = "an array cannot be an operand";
        return false;
    }
    out = ValueShape();
    if (a.ElementComponents() == 1 && !(b.ElementComponents() == 1 && a.matrix)) {
        out = b;
        return true;
    }
    if (b.ElementComponents() == 1) {
        out = a;
        return true;
    }
    if (a.matrix && b.matrix && !(a.rows == 1 || a.columns == 1) && !(b.rows == 1 || b.columns == 1)) {
        out.matrix = true;
        out.rows = std::min(a.rows, b.rows);
        out.columns = std::min(a.columns, b.columns);
        return true;
    }
    if (a.matrix && b.matrix && a.rows == b.rows && a.columns == b.columns) {
        out = a;
        return true;
    }
    if (VectorLike(a) && VectorLike(b)) {
        if (a.matrix != b.matrix && VectorSize(a) != VectorSize(b)) {
            why = "'" + ShapeName(a) + "' and '" + ShapeName(b) + "' differ in shape";
            return false;
        }
        out.columns = static_cast<uint8_t>(std::min(VectorSize(a), VectorSize(b)));
        return true;
    }
    why = "'" + ShapeName(a) + "' and '" + ShapeName(b) + "' differ in shape";
    return false;
}

// Component k (row by row) of `out` as row and column.
inline void RowColumn(const ValueShape& out, uint32_t k, uint32_t& row, uint32_t& column)
{
    row = k / out.columns;
    column = k % out.columns;
}

} // namespace

bool IsIntrinsicName(std::string_view name)
{
    return FindIntrinsic(name) != kIntrinsicCount || IsShaderOnlyIntrinsic(name);
}

// ---- Typing ----

// The typing rules of each instruction, shared by the compiler (which reports
// a failure at its token) and by Retype (which refuses a damaged program).
struct ExpressionTyping {
    // How many values `op` takes from the stack and whether it gives one.
    static uint32_t Inputs(const Expression::Instruction& in)
    {
        switch (in.op) {
        case Expression::Op::Constant:
        case Expression::Op::Parameter:
        case Expression::Op::Load: return 0;
        case Expression::Op::Store:
        case Expression::Op::Pop:
        case Expression::Op::Unary:
        case Expression::Op::Swizzle:
        case Expression::Op::Convert: return 1;
        case Expression::Op::Binary:
        case Expression::Op::Index: return 2;
        case Expression::Op::Select: return 3;
        case Expression::Op::Construct:
        case Expression::Op::Call: return in.b;
        }
        return 0;
    }
    static bool Gives(Expression::Op op) { return op != Expression::Op::Store && op != Expression::Op::Pop; }

    // The result of `in` from `inputs` (the values it takes, the first
    // first); Constant, Parameter and Load are typed by their callers.
    static bool Result(const Expression::Instruction& in, const ValueShape* inputs, ValueShape& out,
                       std::string& why)
    {
        switch (in.op) {
        case Expression::Op::Unary: {
            const ValueShape& a = inputs[0];
            if (in.a >= kUnaryCount || a.arraySize != 0) {
                why = "an array cannot be an operand";
                return false;
            }
            out = a;
            if (in.a == kNot) {
                out.base = ValueBase::Bool;
            } else if (in.a == kComplement) {
                if (a.base == ValueBase::Float) {
                    why = "'~' takes int or uint, not '" + ShapeName(a) + "'";
                    return false;
                }
                if (a.base == ValueBase::Bool)
                    out.base = ValueBase::Int;
            } else if (a.base == ValueBase::Bool) {
                out.base = ValueBase::Int;
            }
            return true;
        }
        case Expression::Op::Binary: {
            if (in.a >= kBinaryCount)
                return Fail(why, "unknown operator");
            if (!MeetShapes(inputs[0], inputs[1], out, why))
                return false;
            ValueBase base = CommonBase(inputs[0].base, inputs[1].base);
            if (IsBitwise(in.a) && base == ValueBase::Float) {
                why = std::string("'") + kBinarySpelling[in.a] + "' takes int or uint operands, not float";
                return false;
            }
            if (in.a == kShiftLeft || in.a == kShiftRight)
                base = inputs[0].base == ValueBase::Uint ? ValueBase::Uint : ValueBase::Int;
            out.base = IsComparison(in.a) || IsLogical(in.a) ? ValueBase::Bool : base;
            return true;
        }
        case Expression::Op::Select: {
            ValueShape values;
            if (!MeetShapes(inputs[1], inputs[2], values, why))
                return false;
            const ValueShape& c = inputs[0];
            if (c.arraySize != 0 || (c.ElementComponents() != 1 && c.ElementComponents() < values.ElementComponents()))
                return Fail(why, "the condition of '?:' is '" + ShapeName(c) + "' for values of '" +
                                     ShapeName(values) + "'");
            out = values;
            out.base = inputs[1].base == inputs[2].base ? inputs[1].base : CommonBase(inputs[1].base, inputs[2].base);
            return true;
        }
        case Expression::Op::Swizzle: {
            const ValueShape& a = inputs[0];
            const uint32_t count = in.a & 7;
            if (a.arraySize != 0 || count < 1 || count > 4 || (in.a >> (3 + 4 * count)) != 0)
                return Fail(why, "invalid swizzle");
            for (uint32_t k = 0; k < count; ++k)
                if ((in.a >> (3 + 4 * k) & 15) >= a.ElementComponents())
                    return Fail(why, "the swizzle reads past '" + ShapeName(a) + "'");
            out = ValueShape();
            out.base = a.base;
            out.columns = static_cast<uint8_t>(count);
            return true;
        }
        case Expression::Op::Index: {
            const ValueShape& a = inputs[0];
            const ValueShape& i = inputs[1];
            if (i.arraySize != 0 || i.ElementComponents() != 1)
                return Fail(why, "an index is a scalar");
            out = a;
            if (a.arraySize != 0) {
                out.arraySize = 0;
            } else if (a.matrix) {
                out.matrix = false;
                out.rows = 1;
            } else if (a.columns > 1) {
                out.columns = 1;
            } else {
                return Fail(why, "'" + ShapeName(a) + "' cannot be indexed");
            }
            return true;
        }
        case Expression::Op::Convert: {
            if (!UnpackShape(in.a, out) || in.b > 1)
                return Fail(why, "invalid conversion");
            return Converts(inputs[0], out, why);
        }
        case Expression::Op::Construct: {
            if (!UnpackShape(in.a, out))
                return Fail(why, "invalid constructor");
            uint64_t given = 0;
            for (uint32_t k = 0; k < in.b; ++k)
                given += inputs[k].Components();
            if (given == out.Components() || (in.b == 1 && given == 1))
                return true;
            return Fail(why, "'" + ShapeName(out) + "' takes " + std::to_string(out.Components()) +
                                 " values, " + std::to_string(given) + " given");
        }
        case Expression::Op::Call:
            return CallResult(in.a, in.b, inputs, out, why);
        default:
            return Fail(why, "invalid instruction");
        }
    }

    static bool Fail(std::string& why, std::string text)
    {
        why = std::move(text);
        return false;
    }

    // Whether a value of `from` converts to `to`: the same count of
    // components, a scalar spread over all, or a larger vector or matrix cut.
    static bool Converts(const ValueShape& from, const ValueShape& to, std::string& why)
    {
        if (from.Components() == to.Components() || from.Components() == 1)
            return true;
        if (from.arraySize == 0 && to.arraySize == 0 && from.Components() > to.Components()) {
            if (from.matrix && to.matrix && (from.rows < to.rows || from.columns < to.columns))
                return Fail(why, "cannot convert from '" + ShapeName(from) + "' to '" + ShapeName(to) + "'");
            return true;
        }
        return Fail(why, "cannot convert from '" + ShapeName(from) + "' to '" + ShapeName(to) + "'");
    }

    static bool CallResult(uint32_t which, uint32_t count, const ValueShape* in, ValueShape& out,
                           std::string& why)
    {
        if (which >= kIntrinsicCount || count != kIntrinsics[which].arguments)
            return Fail(why, "invalid call");
        const std::string name(kIntrinsics[which].name);
        for (uint32_t k = 0; k < count; ++k)
            if (in[k].arraySize != 0)
                return Fail(why, "'" + name + "' takes no array");
        auto vector = [&](const ValueShape& s) { return VectorLike(s); };
        switch (which) {
        case kDot:
        case kDistance:
            if (!vector(in[0]) || !vector(in[1]) || (VectorSize(in[0]) != VectorSize(in[1]) && VectorSize(in[0]) != 1 && VectorSize(in[1]) != 1))
                return Fail(why, "'" + name + "' takes vectors of one size");
            out = ValueShape();
            out.base = which == kDot && in[0].base != ValueBase::Float && in[1].base != ValueBase::Float
                           ? CommonBase(in[0].base, in[1].base) : ValueBase::Float;
            return true;
        case kLength:
            if (!vector(in[0]))
                return Fail(why, "'length' takes a vector");
            out = ValueShape();
            return true;
        case kNormalize:
            if (!vector(in[0]))
                return Fail(why, "'normalize' takes a vector");
            out = in[0];
            out.base = ValueBase::Float;
            return true;
        case kCross:
            if (VectorSize(in[0]) != 3 || VectorSize(in[1]) != 3 || !vector(in[0]) || !vector(in[1]))
                return Fail(why, "'cross' takes two 3-vectors");
            out = ValueShape();
            out.columns = 3;
            return true;
        case kReflect:
        case kRefract:
        case kFaceforward:
            if (!vector(in[0]) || !vector(in[1]) || VectorSize(in[0]) != VectorSize(in[1]) ||
                (which == kRefract && in[2].ElementComponents() != 1) ||
                (which == kFaceforward && (!vector(in[2]) || VectorSize(in[2]) != VectorSize(in[0]))))
                return Fail(why, "'" + name + "' takes vectors of one size");
            out = ValueShape();
            out.columns = static_cast<uint8_t>(VectorSize(in[0]));
            return true;
        case kTranspose:
            out = in[0];
            if (in[0].matrix)
                std::swap(out.rows, out.columns);
            return true;
        case kDeterminant:
            if (!in[0].matrix || in[0].rows != in[0].columns)
                return Fail(why, "'determinant' takes a square matrix");
            out = ValueShape();
            return true;
        case kAny:
        case kAll:
            out = ValueShape();
            out.base = ValueBase::Bool;
            return true;
        case kAsFloat:
        case kAsInt:
        case kAsUint:
            out = in[0];
            out.base = which == kAsFloat ? ValueBase::Float : which == kAsInt ? ValueBase::Int : ValueBase::Uint;
            return true;
        case kMul: {
            const ValueShape& a = in[0];
            const ValueShape& b = in[1];
            out = ValueShape();
            out.base = CommonBase(a.base, b.base);
            if (a.ElementComponents() == 1 || b.ElementComponents() == 1) {
                const ValueBase base = out.base;
                out = a.ElementComponents() == 1 ? b : a;
                out.base = base;
                return true;
            }
            const uint32_t aRows = a.matrix ? a.rows : 1, aColumns = a.matrix ? a.columns : a.columns;
            const uint32_t bRows = b.matrix ? b.rows : b.columns, bColumns = b.matrix ? b.columns : 1;
            if (aColumns != bRows)
                return Fail(why, "'mul' of '" + ShapeName(a) + "' and '" + ShapeName(b) + "': the sizes do not meet");
            if (!a.matrix && !b.matrix) {
                return true; // a dot product
            }
            if (!a.matrix) {
                out.columns = static_cast<uint8_t>(bColumns);
            } else if (!b.matrix) {
                out.columns = static_cast<uint8_t>(aRows);
            } else {
                out.matrix = true;
                out.rows = static_cast<uint8_t>(aRows);
                out.columns = static_cast<uint8_t>(bColumns);
            }
            return true;
        }
        default:
            break;
        }
        // Component by component.
        ValueShape shape = in[0];
        for (uint32_t k = 1; k < count; ++k) {
            ValueShape met;
            if (!MeetShapes(shape, in[k], met, why))
                return false;
            shape = met;
        }
        ValueBase base = in[0].base;
        for (uint32_t k = 1; k < count; ++k)
            base = CommonBase(base, in[k].base);
        out = shape;
        if (which <= kLastFloatUnary || (which >= kAtan2 && which <= kLdexp) || which == kLerp || which == kSmoothstep)
            out.base = ValueBase::Float;
        else if (which == kSign)
            out.base = ValueBase::Int;
        else if (which == kIsNan || which == kIsInf || which == kIsFinite)
            out.base = ValueBase::Bool;
        else
            out.base = base == ValueBase::Bool ? ValueBase::Int : base;
        return true;
    }
};

// ---- Execution ----

namespace {

double Arithmetic(uint32_t op, double a, double b, ValueBase base)
{
    if (base == ValueBase::Float) {
        switch (op) {
        case kAdd: return a + b;
        case kSubtract: return a - b;
        case kMultiply: return a * b;
        case kDivide: return a / b; // a division by zero gives an infinity
        default: return b == 0 ? std::numeric_limits<double>::quiet_NaN() : std::fmod(a, b);
        }
    }
    // Integers wrap, as the machine does; a division by zero gives all bits.
    const uint32_t ua = AsUint(a), ub = AsUint(b);
    if (base == ValueBase::Uint) {
        switch (op) {
        case kAdd: return ua + ub;
        case kSubtract: return uint32_t(ua - ub);
        case kMultiply: return uint32_t(ua * ub);
        case kDivide: return ub == 0 ? 4294967295.0 : double(ua / ub);
        default: return ub == 0 ? 4294967295.0 : double(ua % ub);
        }
    }
    const int32_t ia = AsInt(a), ib = AsInt(b);
    switch (op) {
    case kAdd: return static_cast<int32_t>(ua + ub);
    case kSubtract: return static_cast<int32_t>(ua - ub);
    case kMultiply: return static_cast<int32_t>(ua * ub);
    case kDivide:
        if (ib == 0)
            return -1;
        if (ia == std::numeric_limits<int32_t>::min() && ib == -1)
            return ia;
        return ia / ib;
    default:
        if (ib == 0)
            return -1;
        if (ib == -1)
            return 0;
        return ia % ib;
    }
}

double BinaryComponent(uint32_t op, double a, double b, ValueBase aBase, ValueBase bBase, ValueBase resultBase)
{
    const ValueBase base = CommonBase(aBase, bBase);
    if (op <= kRemainder)
        return ToBase(Arithmetic(op, ToBase(a, base), ToBase(b, base), base), resultBase);
    if (IsComparison(op)) {
        a = ToBase(a, base);
        b = ToBase(b, base);
        switch (op) {
        case kLess: return a < b;
        case kGreater: return a > b;
        case kLessEqual: return a <= b;
        case kGreaterEqual: return a >= b;
        case kEqual: return a == b;
        default: return a != b;
        }
    }
    if (op == kAnd)
        return (a != 0) && (b != 0);
    if (op == kOr)
        return (a != 0) || (b != 0);
    const uint32_t ua = AsUint(a), ub = AsUint(b);
    uint32_t r = 0;
    switch (op) {
    case kBitAnd: r = ua & ub; break;
    case kBitOr: r = ua | ub; break;
    case kBitXor: r = ua ^ ub; break;
    case kShiftLeft: r = ua << (ub & 31); break;
    default:
        if (resultBase == ValueBase::Int)
            return ToBase(static_cast<double>(AsInt(a) >> (ub & 31)), resultBase);
        r = ua >> (ub & 31);
        break;
    }
    return resultBase == ValueBase::Uint ? double(r) : double(static_cast<int32_t>(r));
}

double FloatUnary(uint32_t which, double x)
{
    switch (which) {
    case kSin: return std::sin(x);
    case kCos: return std::cos(x);
    case kTan: return std::tan(x);
    case kAsin: return std::asin(x);
    case kAcos: return std::acos(x);
    case kAtan: return std::atan(x);
    case kSinh: return std::sinh(x);
    case kCosh: return std::cosh(x);
    case kTanh: return std::tanh(x);
    case kSqrt: return std::sqrt(x);
    case kRsqrt: return 1.0 / std::sqrt(x);
    case kExp: return std::exp(x);
    case kExp2: return std::exp2(x);
    case kLog: return std::log(x);
    case kLog2: return std::log2(x);
    case kLog10: return std::log10(x);
    case kFloor: return std::floor(x);
    case kCeil: return std::ceil(x);
    case kFrac: return x - std::floor(x);
    case kRound: return std::nearbyint(x); // halves to even, as the shaders round
    case kTrunc: return std::trunc(x);
    case kSaturate: return std::isnan(x) ? 0.0 : std::clamp(x, 0.0, 1.0);
    case kDegrees: return x * (180.0 / 3.14159265358979323846);
    case kRadians: return x * (3.14159265358979323846 / 180.0);
    case kRcp: return 1.0 / x;
    default: return x;
    }
}

double ComponentCall(uint32_t which, const double* x, ValueBase base)
{
    const double a = x[0], b = x[1], c = x[2];
    switch (which) {
    case kAbs: return ToBase(base == ValueBase::Int ? (AsInt(a) == std::numeric_limits<int32_t>::min() ? a : std::fabs(a)) : std::fabs(a), base);
    case kSign: return a > 0 ? 1 : a < 0 ? -1 : 0;
    case kIsNan: return std::isnan(a);
    case kIsInf: return std::isinf(a);
    case kIsFinite: return std::isfinite(a);
    case kAtan2: return std::atan2(a, b);
    case kPow: return std::pow(a, b);
    case kFmod: return b == 0 ? std::numeric_limits<double>::quiet_NaN() : std::fmod(a, b);
    case kStep: return a <= b ? 1 : 0;
    case kLdexp: return a * std::exp2(b);
    case kMin: return std::isnan(a) ? b : std::isnan(b) ? a : std::min(a, b);
    case kMax: return std::isnan(a) ? b : std::isnan(b) ? a : std::max(a, b);
    case kClamp: return std::min(std::max(a, b), c);
    case kLerp: return a + c * (b - a);
    case kSmoothstep: {
        if (a == b)
            return c < a ? 0.0 : 1.0;
        const double t = std::clamp((c - a) / (b - a), 0.0, 1.0);
        return t * t * (3 - 2 * t);
    }
    case kMad: return a * b + c;
    default: return FloatUnary(which, a);
    }
}

double Determinant(const double* m, uint32_t n)
{
    if (n == 1)
        return m[0];
    if (n == 2)
        return m[0] * m[3] - m[1] * m[2];
    double sum = 0;
    double minor[9];
    for (uint32_t skip = 0; skip < n; ++skip) {
        uint32_t k = 0;
        for (uint32_t r = 1; r < n; ++r)
            for (uint32_t c = 0; c < n; ++c)
                if (c != skip)
                    minor[k++] = m[r * n + c];
        const double term = m[skip] * Determinant(minor, n - 1);
        sum += skip % 2 == 0 ? term : -term;
    }
    return sum;
}

float BitsToFloat(uint32_t bits) { return std::bit_cast<float>(bits); }
uint32_t FloatToBits(float f) { return std::bit_cast<uint32_t>(f); }

// Writes the result of a call into out[0, result.Components()).
void Call(uint32_t which, const ValueShape* shapes, const double* const* args, const ValueShape& result,
          double* out)
{
    const ValueBase base = result.base;
    auto arg = [&](uint32_t k, uint32_t i) { return args[k][shapes[k].ElementComponents() == 1 ? 0 : i]; };
    auto fl = [&](uint32_t k, uint32_t i) { return ToBase(arg(k, i), ValueBase::Float); };
    switch (which) {
    case kDot:
    case kDistance: {
        const uint32_t n = std::max(VectorSize(shapes[0]), VectorSize(shapes[1]));
        double sum = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const double a = ToBase(arg(0, i), base), b = ToBase(arg(1, i), base);
            const double d = which == kDot ? a * b : a - b;
            sum += which == kDot ? d : d * d;
        }
        out[0] = ToBase(which == kDot ? sum : std::sqrt(sum), base);
        return;
    }
    case kLength:
    case kNormalize: {
        const uint32_t n = VectorSize(shapes[0]);
        double sum = 0;
        for (uint32_t i = 0; i < n; ++i)
            sum += fl(0, i) * fl(0, i);
        const double length = std::sqrt(sum);
        if (which == kLength)
            out[0] = ToBase(length, base);
        else
            for (uint32_t i = 0; i < n; ++i)
                out[i] = ToBase(fl(0, i) / length, base);
        return;
    }
    case kCross:
        out[0] = ToBase(fl(0, 1) * fl(1, 2) - fl(0, 2) * fl(1, 1), base);
        out[1] = ToBase(fl(0, 2) * fl(1, 0) - fl(0, 0) * fl(1, 2), base);
        out[2] = ToBase(fl(0, 0) * fl(1, 1) - fl(0, 1) * fl(1, 0), base);
        return;
    case kReflect:
    case kRefract:
    case kFaceforward: {
        const uint32_t n = VectorSize(shapes[0]);
        auto dot = [&](uint32_t p, uint32_t q) {
            double s = 0;
            for (uint32_t i = 0; i < n; ++i)
                s += fl(p, i) * fl(q, i);
            return s;
        };
        if (which == kReflect) {
            const double d = dot(0, 1);
            for (uint32_t i = 0; i < n; ++i)
                out[i] = ToBase(fl(0, i) - 2 * d * fl(1, i), base);
        } else if (which == kRefract) {
            const double d = dot(1, 0), eta = fl(2, 0);
            const double k = 1 - eta * eta * (1 - d * d);
            for (uint32_t i = 0; i < n; ++i)
                out[i] = k < 0 ? 0.0 : ToBase(eta * fl(0, i) - (eta * d + std::sqrt(k)) * fl(1, i), base);
        } else {
            const double sign = dot(1, 2) < 0 ? 1 : -1;
            for (uint32_t i = 0; i < n; ++i)
                out[i] = ToBase(sign * fl(0, i), base);
        }
        return;
    }
    case kTranspose: {
        const ValueShape& s = shapes[0];
        if (!s.matrix) {
            for (uint32_t i = 0; i < s.ElementComponents(); ++i)
                out[i] = args[0][i];
            return;
        }
        for (uint32_t r = 0; r < s.rows; ++r)
            for (uint32_t c = 0; c < s.columns; ++c)
                out[c * s.rows + r] = args[0][r * s.columns + c];
        return;
    }
    case kDeterminant: {
        double m[16];
        const uint32_t n = shapes[0].rows;
        for (uint32_t i = 0; i < n * n; ++i)
            m[i] = fl(0, i);
        out[0] = ToBase(Determinant(m, n), base);
        return;
    }
    case kAny:
    case kAll: {
        bool any = false, all = true;
        for (uint32_t i = 0; i < shapes[0].ElementComponents(); ++i) {
            any = any || args[0][i] != 0;
            all = all && args[0][i] != 0;
        }
        out[0] = which == kAny ? any : all;
        return;
    }
    case kAsFloat:
    case kAsInt:
    case kAsUint:
        for (uint32_t i = 0; i < result.ElementComponents(); ++i) {
            const double v = args[0][i];
            const uint32_t bits = shapes[0].base == ValueBase::Float ? FloatToBits(static_cast<float>(v))
                                                                     : shapes[0].base == ValueBase::Bool ? uint32_t(v != 0) : AsUint(v);
            out[i] = which == kAsFloat ? double(BitsToFloat(bits)) : which == kAsUint ? double(bits)
                                                                                       : double(static_cast<int32_t>(bits));
        }
        return;
    case kMul: {
        const ValueShape& a = shapes[0];
        const ValueShape& b = shapes[1];
        if (a.ElementComponents() == 1 || b.ElementComponents() == 1) {
            for (uint32_t i = 0; i < result.ElementComponents(); ++i)
                out[i] = ToBase(Arithmetic(kMultiply, ToBase(arg(0, i), base), ToBase(arg(1, i), base), base), base);
            return;
        }
        const uint32_t aRows = a.matrix ? a.rows : 1, inner = a.matrix ? a.columns : a.columns;
        const uint32_t bColumns = b.matrix ? b.columns : 1;
        for (uint32_t r = 0; r < aRows; ++r)
            for (uint32_t c = 0; c < bColumns; ++c) {
                double sum = 0;
                for (uint32_t k = 0; k < inner; ++k) {
                    const double x = ToBase(args[0][r * inner + k], base);
                    const double y = ToBase(args[1][k * bColumns + c], base);
                    sum = base == ValueBase::Float ? sum + x * y
                                                   : Arithmetic(kAdd, sum, Arithmetic(kMultiply, x, y, base), base);
                }
                out[r * bColumns + c] = ToBase(sum, base);
            }
        return;
    }
    default:
        break;
    }
    // Component by component, each argument read as the result's shape reads it.
    const uint32_t count = kIntrinsics[which].arguments;
    const bool floats = which <= kLastFloatUnary || (which >= kAtan2 && which <= kLdexp) || which == kLerp ||
                        which == kSmoothstep || which == kIsNan || which == kIsInf || which == kIsFinite;
    ValueBase common = shapes[0].base;
    for (uint32_t k = 1; k < count; ++k)
        common = CommonBase(common, shapes[k].base);
    const ValueBase operandBase = floats ? ValueBase::Float : common == ValueBase::Bool ? ValueBase::Int : common;
    for (uint32_t i = 0; i < result.ElementComponents(); ++i) {
        uint32_t row = 0, column = 0;
        RowColumn(result, i, row, column);
        double x[3] = {0, 0, 0};
        for (uint32_t k = 0; k < count; ++k)
            x[k] = ToBase(args[k][Source(shapes[k], row, column)], operandBase);
        out[i] = ToBase(ComponentCall(which, x, operandBase), base);
    }
}

// Reads `count` components of a value of `from` as `to` converts it into out.
void ConvertInto(const ValueShape& from, const double* in, const ValueShape& to, double* out)
{
    const uint64_t n = to.Components();
    if (from.Components() == 1) {
        const double v = ToBase(in[0], to.base);
        std::fill(out, out + n, v);
        return;
    }
    if (from.matrix && to.matrix && from.Components() != n) {
        for (uint32_t r = 0; r < to.rows; ++r)
            for (uint32_t c = 0; c < to.columns; ++c)
                out[r * to.columns + c] = ToBase(in[r * from.columns + c], to.base);
        return;
    }
    for (uint64_t i = 0; i < n; ++i)
        out[i] = ToBase(in[i], to.base);
}

} // namespace

// Runs one instruction on values already in place: `inputs` are the
// components of its inputs, `out` takes result.Components().
static void Apply(const Expression::Instruction& in, const ValueShape* shapes, const double* const* inputs,
                  const ValueShape& result, double* out)
{
    switch (in.op) {
    case Expression::Op::Unary: {
        const double* a = inputs[0];
        for (uint64_t i = 0; i < result.Components(); ++i) {
            switch (in.a) {
            case kNegate:
                out[i] = result.base == ValueBase::Float ? -a[i] : ToBase(Arithmetic(kSubtract, 0, a[i], result.base), result.base);
                break;
            case kPlus: out[i] = ToBase(a[i], result.base); break;
            case kNot: out[i] = a[i] == 0 ? 1 : 0; break;
            default: {
                const uint32_t r = ~AsUint(a[i]);
                out[i] = result.base == ValueBase::Uint ? double(r) : double(static_cast<int32_t>(r));
            }
            }
        }
        return;
    }
    case Expression::Op::Binary:
        for (uint32_t i = 0; i < result.ElementComponents(); ++i) {
            uint32_t row = 0, column = 0;
            RowColumn(result, i, row, column);
            out[i] = BinaryComponent(in.a, inputs[0][Source(shapes[0], row, column)],
                                     inputs[1][Source(shapes[1], row, column)], shapes[0].base, shapes[1].base,
                                     result.base);
        }
        return;
    case Expression::Op::Select:
        for (uint32_t i = 0; i < result.ElementComponents(); ++i) {
            uint32_t row = 0, column = 0;
            RowColumn(result, i, row, column);
            const double c = inputs[0][shapes[0].ElementComponents() == 1 ? 0 : i];
            const uint32_t pick = c != 0 ? 1 : 2;
            out[i] = ToBase(inputs[pick][Source(shapes[pick], row, column)], result.base);
        }
        return;
    case Expression::Op::Swizzle:
        for (uint32_t i = 0; i < result.columns; ++i)
            out[i] = inputs[0][in.a >> (3 + 4 * i) & 15];
        return;
    case Expression::Op::Index: {
        const ValueShape& a = shapes[0];
        const uint64_t step = result.Components();
        const uint64_t count = a.Components() / step;
        const double raw = std::trunc(inputs[1][0]);
        // Past the end reads the last: no index reads outside the value.
        const uint64_t index = !(raw > 0) ? 0 : raw >= double(count) ? count - 1 : uint64_t(raw);
        std::copy(inputs[0] + index * step, inputs[0] + (index + 1) * step, out);
        return;
    }
    case Expression::Op::Convert:
        ConvertInto(shapes[0], inputs[0], result, out);
        return;
    case Expression::Op::Construct: {
        if (in.b == 1 && shapes[0].Components() == 1 && result.Components() != 1) {
            std::fill(out, out + result.Components(), ToBase(inputs[0][0], result.base));
            return;
        }
        uint64_t at = 0;
        for (uint32_t k = 0; k < in.b; ++k)
            for (uint64_t i = 0; i < shapes[k].Components(); ++i)
                out[at++] = ToBase(inputs[k][i], result.base);
        return;
    }
    case Expression::Op::Call:
        Call(in.a, shapes, inputs, result, out);
        return;
    default:
        return;
    }
}

// ---- The program ----

std::vector<uint32_t> Expression::Parameters() const
{
    std::vector<uint32_t> out;
    for (const Instruction& in : code_)
        if (in.op == Op::Parameter && std::find(out.begin(), out.end(), in.a) == out.end())
            out.push_back(in.a);
    return out;
}

bool Expression::operator==(const Expression& other) const
{
    std::vector<uint8_t> a, b;
    Write(a);
    other.Write(b);
    return a == b;
}

bool Expression::Retype(std::string& error)
{
    shapes_.assign(code_.size(), ValueShape());
    localShapes_.clear();
    localOffsets_.clear();
    localComponents_ = 0;
    stackComponents_ = 0;
    stackValues_ = 0;
    namesParameters_ = false;
    std::vector<ValueShape> stack;
    uint64_t components = 0;
    std::vector<ValueShape> inputs;
    for (size_t pc = 0; pc < code_.size(); ++pc) {
        const Instruction& in = code_[pc];
        const uint32_t n = ExpressionTyping::Inputs(in);
        if (n > stack.size()) {
            error = "the program takes more values than it has";
            return false;
        }
        inputs.assign(stack.end() - n, stack.end());
        for (const ValueShape& s : inputs)
            components -= s.Components();
        stack.resize(stack.size() - n);
        ValueShape result;
        switch (in.op) {
        case Op::Constant:
            if (in.a >= constants_.size()) {
                error = "a constant past the table";
                return false;
            }
            result = constants_[in.a].shape;
            break;
        case Op::Parameter:
            if (!UnpackShape(in.b, result)) {
                error = "a parameter of no shape";
                return false;
            }
            namesParameters_ = true;
            break;
        case Op::Load:
            if (in.a >= localShapes_.size()) {
                error = "a local read before it is written";
                return false;
            }
            result = localShapes_[in.a];
            break;
        case Op::Store:
            if (in.a > localShapes_.size() || (in.a < localShapes_.size() && !(localShapes_[in.a] == inputs[0]))) {
                error = "a local written out of order";
                return false;
            }
            if (in.a == localShapes_.size()) {
                localShapes_.push_back(inputs[0]);
                localOffsets_.push_back(localComponents_);
                localComponents_ += inputs[0].Components();
                if (localComponents_ > kMaxExpressionComponents * 4) {
                    error = "the locals are too large";
                    return false;
                }
            }
            break;
        case Op::Pop:
            break;
        default:
            if (!ExpressionTyping::Result(in, inputs.data(), result, error))
                return false;
            break;
        }
        shapes_[pc] = result;
        if (ExpressionTyping::Gives(in.op)) {
            if (result.Components() > kMaxExpressionComponents) {
                error = "a value is too large";
                return false;
            }
            stack.push_back(result);
            components += result.Components();
            stackComponents_ = std::max(stackComponents_, components);
            stackValues_ = std::max<uint64_t>(stackValues_, stack.size());
            if (components > kMaxExpressionComponents * 4) {
                error = "the values are too large";
                return false;
            }
        }
    }
    if (stack.size() != 1) {
        error = "the program does not end in one value";
        return false;
    }
    shape_ = stack[0];
    return true;
}

bool Expression::Evaluate(const ExpressionParameters* parameters, ExpressionValue& out, std::string& error,
                          ExpressionScratch* scratch) const
{
    ExpressionScratch local;
    ExpressionScratch& s = scratch ? *scratch : local;
    // While an instruction runs its result lies above its inputs: at most
    // twice what the stack ever holds.
    s.components.resize(stackComponents_ * 2 + 16);
    s.values.resize(stackValues_ + 1);
    s.locals.resize(localComponents_);
    size_t top = 0;  // values on the stack
    size_t used = 0; // their components
    for (size_t pc = 0; pc < code_.size(); ++pc) {
        const Instruction& in = code_[pc];
        const ValueShape& result = shapes_[pc];
        const uint32_t n = ExpressionTyping::Inputs(in);
        const size_t base = top - n;
        const size_t first = n == 0 ? used : s.values[base].offset;
        double* const at = s.components.data() + used;
        switch (in.op) {
        case Op::Constant:
            std::copy(constants_[in.a].components.begin(), constants_[in.a].components.end(), at);
            break;
        case Op::Parameter: {
            size_t count = 0;
            const float* values = parameters ? parameters->Values(in.a, count) : nullptr;
            if (values == nullptr || count < result.Components()) {
                error = "parameter " + std::to_string(in.a) + " has no value of '" + ShapeName(result) + "'";
                return false;
            }
            for (uint64_t i = 0; i < result.Components(); ++i)
                at[i] = ToBase(values[i], result.base);
            break;
        }
        case Op::Load: {
            const double* from = s.locals.data() + localOffsets_[in.a];
            std::copy(from, from + result.Components(), at);
            break;
        }
        case Op::Store: {
            const double* from = s.components.data() + first;
            std::copy(from, from + s.values[base].shape.Components(), s.locals.data() + localOffsets_[in.a]);
            top = base;
            used = first;
            continue;
        }
        case Op::Pop:
            top = base;
            used = first;
            continue;
        default:
            s.shapes.resize(std::max<size_t>(n, 1));
            s.inputs.resize(std::max<size_t>(n, 1));
            for (uint32_t k = 0; k < n; ++k) {
                s.shapes[k] = s.values[base + k].shape;
                s.inputs[k] = s.components.data() + s.values[base + k].offset;
            }
            Apply(in, s.shapes.data(), s.inputs.data(), result, at);
            std::copy(at, at + result.Components(), s.components.data() + first);
            break;
        }
        top = base;
        used = first;
        s.values[top].shape = result;
        s.values[top].offset = used;
        ++top;
        used += result.Components();
    }
    out.shape = shape_;
    out.components.assign(s.components.begin(), s.components.begin() + static_cast<ptrdiff_t>(shape_.Components()));
    return true;
}

// ---- Bytes ----

namespace {

void PutWord(std::vector<uint8_t>& out, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

bool GetWord(const uint8_t* data, size_t size, size_t& offset, uint32_t& v)
{
    if (offset > size || size - offset < 4)
        return false;
    v = 0;
    for (int k = 0; k < 4; ++k)
        v |= uint32_t(data[offset + k]) << (8 * k);
    offset += 4;
    return true;
}

uint32_t ComponentBits(double v, ValueBase base)
{
    return base == ValueBase::Float ? FloatToBits(static_cast<float>(v)) : AsUint(v);
}

double ComponentOf(uint32_t bits, ValueBase base)
{
    switch (base) {
    case ValueBase::Float: return BitsToFloat(bits);
    case ValueBase::Int: return static_cast<int32_t>(bits);
    default: return bits;
    }
}

} // namespace

void Expression::Write(std::vector<uint8_t>& out) const
{
    PutWord(out, static_cast<uint32_t>(constants_.size()));
    for (const ExpressionValue& c : constants_) {
        PutWord(out, PackShape(c.shape));
        for (double v : c.components)
            PutWord(out, ComponentBits(v, c.shape.base));
    }
    PutWord(out, static_cast<uint32_t>(code_.size()));
    for (const Instruction& in : code_) {
        out.push_back(static_cast<uint8_t>(in.op));
        PutWord(out, in.a);
        PutWord(out, in.b);
    }
}

bool Expression::Read(const uint8_t* data, size_t size, size_t& offset, Expression& out, std::string& error)
{
    Expression e;
    size_t at = offset;
    uint32_t count = 0;
    auto damaged = [&](const char* what) {
        error = std::string("damaged expression: ") + what;
        return false;
    };
    if (!GetWord(data, size, at, count))
        return damaged("no count of constants");
    if (count > (size - at) / 4)
        return damaged("more constants than bytes");
    e.constants_.resize(count);
    for (ExpressionValue& c : e.constants_) {
        uint32_t packed = 0;
        if (!GetWord(data, size, at, packed) || !UnpackShape(packed, c.shape))
            return damaged("a constant of no shape");
        if (c.shape.Components() > (size - at) / 4)
            return damaged("a constant past the end");
        c.components.resize(c.shape.Components());
        for (double& v : c.components) {
            uint32_t bits = 0;
            GetWord(data, size, at, bits);
            if (c.shape.base == ValueBase::Bool && bits > 1)
                return damaged("a bool that is neither 0 nor 1");
            v = ComponentOf(bits, c.shape.base);
        }
    }
    if (!GetWord(data, size, at, count))
        return damaged("no count of instructions");
    if (count == 0 || count > (size - at) / 9)
        return damaged("more instructions than bytes");
    e.code_.resize(count);
    for (Instruction& in : e.code_) {
        const uint8_t op = data[at++];
        if (op > static_cast<uint8_t>(Op::Call))
            return damaged("an unknown instruction");
        in.op = static_cast<Op>(op);
        GetWord(data, size, at, in.a);
        GetWord(data, size, at, in.b);
    }
    std::string why;
    if (!e.Retype(why))
        return damaged(why.c_str());
    offset = at;
    out = std::move(e);
    return true;
}

// ---- Tokens of a function's text ----

TokenListReader::TokenListReader(std::vector<Token> tokens) : tokens_(std::move(tokens))
{
    Token end;
    if (!tokens_.empty()) {
        end = tokens_.back();
        end.text = std::string_view();
        end.column += 1;
    }
    end.kind = TokenKind::End;
    tokens_.push_back(end);
}

const Token& TokenListReader::Peek(size_t ahead)
{
    return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
}

Token TokenListReader::Next()
{
    const Token t = tokens_[at_];
    if (at_ + 1 < tokens_.size())
        ++at_;
    return t;
}

// ---- Reading expressions ----

class ExpressionCompiler {
public:
    ExpressionCompiler(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                       ExpressionError& error)
        : tokens_(&tokens), names_(names), budget_(budget), error_(error)
    {
    }

    bool Whole(bool comma, Expression& out)
    {
        if (!(comma ? Comma() : Assignment()))
            return false;
        return Finish(out);
    }

    bool Initializer(const ValueShape& target, Expression& out)
    {
        const Token at = Peek();
        ValueShape shape = target;
        if (IsSymbol(at, '{')) {
            uint32_t parts = 0;
            uint64_t components = 0;
            if (!List(parts, components, 0))
                return false;
            if (target.arraySize == kUnsizedArray) {
                const uint32_t element = target.ElementComponents();
                if (components == 0 || components % element != 0 || components / element > kMaxExpressionArraySize)
                    return Fail(at, 3017, std::to_string(components) + " values do not make an array of '" +
                                              ShapeName(ElementOf(target)) + "'");
                shape.arraySize = static_cast<uint32_t>(components / element);
            }
            if (!Emit({Expression::Op::Construct, PackShape(shape), parts}, at))
                return false;
            return Finish(out);
        }
        if (!Assignment())
            return false;
        if (target.arraySize == kUnsizedArray) {
            const ValueShape& given = stack_.back().shape;
            if (given.arraySize == 0)
                return Fail(at, 3017, "an array of unstated size takes its values from a list in braces");
            shape.arraySize = given.arraySize;
        }
        if (!ConvertTo(shape, at, false))
            return false;
        return Finish(out);
    }

private:
    struct Typed {
        ValueShape shape;
        size_t constant = kNotConstant; // the Constant instruction that pushed it
    };
    static constexpr size_t kNotConstant = ~size_t{0};
    // Whether the top `n` values were pushed by the last `n` instructions, all
    // constants: then the constants are the table's last `n` too.
    bool TopConstants(size_t n) const
    {
        if (n > stack_.size() || n > program_.code_.size())
            return false;
        for (size_t k = 0; k < n; ++k)
            if (stack_[stack_.size() - n + k].constant != program_.code_.size() - n + k)
                return false;
        return true;
    }
    struct Local {
        std::string_view name;
        uint32_t slot = 0;
        ValueShape shape;
    };

    static ValueShape ElementOf(ValueShape s)
    {
        s.arraySize = 0;
        return s;
    }

    bool Finish(Expression& out)
    {
        program_.shapes_.clear();
        std::string why;
        if (!program_.Retype(why))
            return Fail(Peek(), 3000, why);
        out = std::move(program_);
        return true;
    }

    // ---- Tokens ----

    const Token& Peek(size_t ahead = 0) { return tokens_->Peek(ahead); }
    Token Next()
    {
        ++budget_.work;
        return tokens_->Next();
    }
    static bool IsSymbol(const Token& t, char c) { return t.kind == TokenKind::Symbol && t.text[0] == c; }
    // Two one-character symbols written together, as "<=" or "&&".
    bool IsPair(char a, char b)
    {
        const Token& first = Peek();
        if (!IsSymbol(first, a))
            return false;
        const Token& second = Peek(1);
        return IsSymbol(second, b) && second.offset == first.offset + 1 && second.line == first.line;
    }

    bool Fail(const Token& at, int code, const std::string& text)
    {
        if (error_.code == 0) {
            error_.line = at.line;
            error_.column = at.column;
            error_.file = at.file;
            error_.code = code;
            error_.text = text;
        }
        return false;
    }
    bool Unexpected(const Token& at)
    {
        if (at.kind == TokenKind::End)
            return Fail(at, 3000, "syntax error: unexpected end of expression");
        return Fail(at, 3000, "syntax error: unexpected token '" + std::string(at.text) + "'");
    }
    bool Expect(char c)
    {
        if (!IsSymbol(Peek(), c))
            return Unexpected(Peek());
        Next();
        return true;
    }
    bool Spend(uint64_t work, const Token& at)
    {
        budget_.work += work;
        if (budget_.work > budget_.limit)
            return Fail(at, 3000, "the constant expressions are too large: more than " +
                                      std::to_string(budget_.limit) + " steps of work for this effect");
        return true;
    }

    // ---- The program ----

    // Appends `in`, typed against the stack; folds it at once when all it
    // takes are constants just pushed.
    bool Emit(const Expression::Instruction& in, const Token& at, const ValueShape* given = nullptr)
    {
        const uint32_t n = ExpressionTyping::Inputs(in);
        if (n > stack_.size())
            return Fail(at, 3000, "internal: the expression stack is short");
        inputs_.clear();
        for (size_t k = stack_.size() - n; k < stack_.size(); ++k)
            inputs_.push_back(stack_[k].shape);
        const bool allConstant = TopConstants(n);
        ValueShape result;
        if (given) {
            result = *given;
        } else if (ExpressionTyping::Gives(in.op)) {
            std::string why;
            if (!ExpressionTyping::Result(in, inputs_.data(), result, why))
                return Fail(at, in.op == Expression::Op::Convert || in.op == Expression::Op::Construct ? 3017 : 3020, why);
        }
        if (result.Components() > kMaxExpressionComponents)
            return Fail(at, 3005, "a value of '" + ShapeName(result) + "' is too large");
        if (!Spend(1 + result.Components(), at))
            return false;
        const bool folds = allConstant && n > 0 && in.op != Expression::Op::Store;
        if (folds && in.op == Expression::Op::Pop) {
            DropConstants(1);
            stack_.pop_back();
            return true;
        }
        if (folds) {
            std::vector<const double*> pointers;
            const size_t firstConstant = program_.constants_.size() - n;
            for (uint32_t k = 0; k < n; ++k)
                pointers.push_back(program_.constants_[firstConstant + k].components.data());
            if (!FoldCheck(in, pointers.data(), at))
                return false;
            ExpressionValue value;
            value.shape = result;
            value.components.resize(result.Components());
            Apply(in, inputs_.data(), pointers.data(), result, value.components.data());
            DropConstants(n);
            stack_.resize(stack_.size() - n);
            return PushConstant(std::move(value), at);
        }
        program_.code_.push_back(in);
        stack_.resize(stack_.size() - n);
        if (ExpressionTyping::Gives(in.op))
            stack_.push_back({result, kNotConstant});
        return true;
    }

    // What the platform's compiler refuses in a constant: an integer
    // division by zero, an index past the end.
    bool FoldCheck(const Expression::Instruction& in, const double* const* values, const Token& at)
    {
        if (in.op == Expression::Op::Binary && (in.a == kDivide || in.a == kRemainder) &&
            CommonBase(inputs_[0].base, inputs_[1].base) != ValueBase::Float) {
            for (uint64_t k = 0; k < inputs_[1].Components(); ++k)
                if (values[1][k] == 0)
                    return Fail(at, 4010, in.a == kDivide ? "Unsigned integer divide by zero"
                                                          : "Unsigned integer modulus by zero");
        }
        if (in.op == Expression::Op::Index) {
            const uint64_t count = inputs_[0].arraySize != 0 ? inputs_[0].arraySize
                                   : inputs_[0].matrix     ? inputs_[0].rows
                                                           : inputs_[0].columns;
            const double index = std::trunc(values[1][0]);
            if (!(index >= 0) || index >= double(count))
                return Fail(at, 3504, "array index out of bounds");
        }
        return true;
    }

    void DropConstants(uint32_t n)
    {
        program_.code_.resize(program_.code_.size() - n);
        program_.constants_.resize(program_.constants_.size() - n);
    }

    bool PushConstant(ExpressionValue value, const Token& at)
    {
        if (!Spend(1 + value.components.size(), at))
            return false;
        program_.code_.push_back({Expression::Op::Constant, static_cast<uint32_t>(program_.constants_.size()), 0});
        stack_.push_back({value.shape, program_.code_.size() - 1});
        program_.constants_.push_back(std::move(value));
        return true;
    }

    bool ConvertTo(const ValueShape& shape, const Token& at, bool explicitly)
    {
        if (stack_.back().shape == shape)
            return true;
        return Emit({Expression::Op::Convert, PackShape(shape), explicitly ? 1u : 0u}, at);
    }

    bool StoreNew(const ValueShape& shape, const Token& at, uint32_t& slot)
    {
        slot = static_cast<uint32_t>(slotShapes_.size());
        slotShapes_.push_back(shape);
        return Emit({Expression::Op::Store, slot, 0}, at);
    }

    bool Load(uint32_t slot, const Token& at)
    {
        return Emit({Expression::Op::Load, slot, 0}, at, &slotShapes_[slot]);
    }

    // ---- Expressions, from the comma down ----

    bool Enter(const Token& at)
    {
        if (++depth_ > kMaxExpressionNesting)
            return Fail(at, 3000, "expression nested too deeply (more than " +
                                      std::to_string(kMaxExpressionNesting) + " levels)");
        return true;
    }

    bool Comma()
    {
        if (!Assignment())
            return false;
        while (IsSymbol(Peek(), ',')) {
            const Token at = Next();
            if (!Emit({Expression::Op::Pop, 0, 0}, at) || !Assignment())
                return false;
        }
        return true;
    }

    bool Assignment()
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

    bool Conditional()
    {
        if (!Binary(0))
            return false;
        if (!IsSymbol(Peek(), '?'))
            return true;
        const Token at = Next();
        if (!Enter(at) || !Comma() || !Expect(':') || !Conditional())
            return false;
        --depth_;
        return Emit({Expression::Op::Select, 0, 0}, at);
    }

    // The binary operator at the current token for precedence `level`
    // (0 lowest), and how many tokens it spans.
    bool BinaryAt(int level, uint32_t& op, int& length)
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

    bool Binary(int level)
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
            if (!Binary(level + 1) || !Emit({Expression::Op::Binary, op, 0}, at))
                return false;
        }
        return true;
    }

    // The shape a type name spells: built in, or a typedef of the effect.
    bool TypeNamed(std::string_view name, ValueShape& shape, bool& refused, std::string& why)
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
    static bool IsTypeWord(std::string_view name)
    {
        static const std::string_view kObjects[] = {"texture", "texture1D", "texture2D", "texture3D", "textureCUBE",
                                                    "sampler", "sampler1D", "sampler2D", "sampler3D", "samplerCUBE",
                                                    "string", "void", "struct"};
        return std::find(std::begin(kObjects), std::end(kObjects), name) != std::end(kObjects);
    }

    bool Unary()
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
            ok = Unary() && Emit({Expression::Op::Unary, op, 0}, t);
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
    bool Cast(ValueShape shape, const Token& open)
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
        return ConvertTo(shape, open, true);
    }

    // A size inside brackets, constant: what an array cast or a template gives.
    bool ConstantSize(uint32_t& size)
    {
        const Token at = Peek();
        const size_t mark = stack_.size();
        if (!Comma())
            return false;
        const Typed top = stack_.back();
        if (!TopConstants(1) || top.shape.Components() != 1 || top.shape.base == ValueBase::Float)
            return Fail(at, 3058, "an array size is an integer constant");
        const double v = program_.constants_.back().components[0];
        DropConstants(1);
        stack_.resize(mark);
        if (v < 1 || v > kMaxExpressionArraySize)
            return Fail(at, 3059, "array size " + std::to_string(static_cast<long long>(v)) + " is out of range (1 to " +
                                      std::to_string(kMaxExpressionArraySize) + ")");
        size = static_cast<uint32_t>(v);
        return true;
    }

    // `vector<float, 3>` or `matrix<float, 2, 3>` past its name.
    bool Template(const Token& name, ValueShape& shape)
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

    bool Postfix(bool primary = false)
    {
        if (primary && !Primary())
            return false;
        for (;;) {
            const Token t = Peek();
            if (IsSymbol(t, '.')) {
                Next();
                const Token member = Peek();
                if (member.kind != TokenKind::Identifier)
                    return Unexpected(member);
                Next();
                uint32_t packed = 0;
                if (!SwizzleOf(stack_.back().shape, member, packed))
                    return false;
                if (!Emit({Expression::Op::Swizzle, packed, 0}, member))
                    return false;
            } else if (IsSymbol(t, '[')) {
                Next();
                if (!Comma() || !Expect(']') || !Emit({Expression::Op::Index, 0, 0}, t))
                    return false;
            } else if (IsPair('+', '+') || IsPair('-', '-')) {
                return Fail(t, 3025, "'" + std::string(t.text) + std::string(t.text) + "' is not a constant expression");
            } else {
                return true;
            }
        }
    }

    bool SwizzleOf(const ValueShape& shape, const Token& member, uint32_t& packed)
    {
        const std::string_view s = member.text;
        const std::string name(s);
        auto refuse = [&] {
            return Fail(member, 3018, "invalid subscript '" + name + "' of '" + ShapeName(shape) + "'");
        };
        if (shape.arraySize != 0)
            return refuse();
        std::vector<uint32_t> picks;
        if (shape.matrix && !s.empty() && s[0] == '_') {
            size_t k = 0;
            while (k < s.size()) {
                if (s[k] != '_')
                    return refuse();
                const bool zeroBased = k + 1 < s.size() && s[k + 1] == 'm';
                const size_t digits = k + (zeroBased ? 2 : 1);
                if (digits + 2 > s.size())
                    return refuse();
                const int row = s[digits] - (zeroBased ? '0' : '1');
                const int column = s[digits + 1] - (zeroBased ? '0' : '1');
                if (row < 0 || column < 0 || row >= shape.rows || column >= shape.columns)
                    return refuse();
                picks.push_back(uint32_t(row) * shape.columns + uint32_t(column));
                k = digits + 2;
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

    bool Number(const Token& t)
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
        return PushConstant(std::move(value), t);
    }

    bool Primary()
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
            return PushConstant(std::move(value), t);
        }
        const std::string name(t.text);
        Next();
        for (size_t k = locals_.size(); k > frame_; --k)
            if (locals_[k - 1].name == t.text)
                return Load(locals_[k - 1].slot, t);
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
        switch (meaning.kind) {
        case ExpressionName::Kind::Constant:
            return PushConstant(*meaning.value, t);
        case ExpressionName::Kind::Parameter:
            return Emit({Expression::Op::Parameter, meaning.parameter, PackShape(meaning.shape)}, t, &meaning.shape);
        case ExpressionName::Kind::Derived:
            return Splice(*meaning.program, t);
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

    // The arguments of a call up to its ')': each left on the stack.
    bool Arguments(uint32_t& count)
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

    bool Constructor(const ValueShape& shape, const Token& at)
    {
        uint32_t count = 0;
        if (!Arguments(count))
            return false;
        uint64_t given = 0;
        for (size_t k = stack_.size() - count; k < stack_.size(); ++k)
            given += stack_[k].shape.Components();
        if (given != shape.Components() && !(count == 1 && given == 1))
            return Fail(at, 3014, "incorrect number of arguments to numeric-type constructor: '" + ShapeName(shape) +
                                      "' takes " + std::to_string(shape.Components()) + " values, " +
                                      std::to_string(given) + " given");
        return Emit({Expression::Op::Construct, PackShape(shape), count}, at);
    }

    bool Intrinsic(uint32_t which, const Token& at)
    {
        uint32_t count = 0;
        if (!Arguments(count))
            return false;
        if (count != kIntrinsics[which].arguments)
            return Fail(at, 3013, "'" + std::string(kIntrinsics[which].name) + "' takes " +
                                      std::to_string(kIntrinsics[which].arguments) + " arguments, " +
                                      std::to_string(count) + " given");
        return Emit({Expression::Op::Call, which, count}, at);
    }

    // A static's program, named where it is used: its instructions again,
    // with its constants and locals renumbered.
    bool Splice(const Expression& program, const Token& at)
    {
        const uint32_t slots = static_cast<uint32_t>(slotShapes_.size());
        for (const Expression::Instruction& source : program.code_) {
            Expression::Instruction in = source;
            switch (in.op) {
            case Expression::Op::Constant:
                if (!PushConstant(program.constants_[in.a], at))
                    return false;
                continue;
            case Expression::Op::Parameter: {
                ValueShape shape;
                UnpackShape(in.b, shape);
                if (!Emit(in, at, &shape))
                    return false;
                continue;
            }
            case Expression::Op::Load:
                if (!Load(in.a + slots, at))
                    return false;
                continue;
            case Expression::Op::Store:
                if (in.a + slots == slotShapes_.size())
                    slotShapes_.push_back(stack_.back().shape);
                in.a += slots;
                break;
            default:
                break;
            }
            if (!Emit(in, at))
                return false;
        }
        return true;
    }

    // ---- Functions of the effect ----

    // A call of a function of the effect, inlined: its parameters' types read
    // first, the arguments converted to them and kept in locals, then its
    // body read with those names.
    bool Inline(const ExpressionName& function, const Token& call)
    {
        const std::string name(call.text);
        if (callDepth_ >= kMaxExpressionCallDepth)
            return Fail(call, 3000, "calls of '" + name + "' nested too deeply (more than " +
                                        std::to_string(kMaxExpressionCallDepth) + ")");
        if (!Spend(function.text.size(), call))
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
        ExpressionTokens* caller = tokens_;
        tokens_ = &body;

        // The head: modifiers, the type returned, the name, the parameters.
        auto notConstant = [&](const Token& at, const std::string& why) {
            return Fail(at, 3025, "'" + name + "' has no constant value: " + why);
        };
        static const std::string_view kModifiers[] = {"static", "inline", "precise", "const", "uniform", "extern"};
        while (Peek().kind == TokenKind::Identifier &&
               std::find(std::begin(kModifiers), std::end(kModifiers), Peek().text) != std::end(kModifiers))
            Next();
        ValueShape returned;
        bool refused = false;
        std::string why;
        const Token returnToken = Peek();
        if (returnToken.text == "void")
            return notConstant(returnToken, "it returns nothing");
        if (returnToken.kind != TokenKind::Identifier || !TypeNamed(returnToken.text, returned, refused, why))
            return notConstant(returnToken, "it returns '" + std::string(returnToken.text) + "'");
        Next();
        if ((returnToken.text == "vector" || returnToken.text == "matrix") && IsSymbol(Peek(), '<') &&
            !Template(returnToken, returned))
            return false;
        if (Peek().kind != TokenKind::Identifier)
            return Unexpected(Peek());
        Next();
        if (!Expect('('))
            return false;
        struct Parameter {
            std::string_view name;
            ValueShape shape;
            size_t defaultAt = 0; // the index of its default's first token, or 0
            Token token;
        };
        std::vector<Parameter> parameters;
        std::vector<Token> defaults; // each default's tokens, then an End
        while (!IsSymbol(Peek(), ')')) {
            Parameter p;
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
            p.token = Peek();
            if (p.token.kind != TokenKind::Identifier)
                return Unexpected(p.token);
            p.name = p.token.text;
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
                p.defaultAt = defaults.size() + 1;
                int open = 0;
                while (Peek().kind != TokenKind::End && !(open == 0 && (IsSymbol(Peek(), ',') || IsSymbol(Peek(), ')')))) {
                    open += IsSymbol(Peek(), '(') ? 1 : IsSymbol(Peek(), ')') ? -1 : 0;
                    defaults.push_back(Next());
                }
                Token end = Peek();
                end.kind = TokenKind::End;
                defaults.push_back(end);
            }
            parameters.push_back(p);
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
                if (!Assignment() || !ConvertTo(parameters[given].shape, at, false))
                    return false;
                ++given;
                if (!IsSymbol(Peek(), ','))
                    break;
                Next();
            }
        }
        if (!Expect(')'))
            return false;
        const size_t frame = frame_;
        const size_t localsBefore = locals_.size();
        ++callDepth_;
        // Defaults name what the effect declares, not the caller's locals.
        frame_ = locals_.size();
        for (size_t k = given; k < parameters.size(); ++k) {
            if (parameters[k].defaultAt == 0)
                return Fail(call, 3013, "'" + name + "' takes " + std::to_string(parameters.size()) + " arguments, " +
                                            std::to_string(given) + " given");
            std::vector<Token> list;
            for (size_t i = parameters[k].defaultAt - 1; defaults[i].kind != TokenKind::End; ++i)
                list.push_back(defaults[i]);
            TokenListReader reader(std::move(list));
            tokens_ = &reader;
            const Token at = Peek();
            if (!Assignment() || !ConvertTo(parameters[k].shape, at, false))
                return false;
            if (Peek().kind != TokenKind::End)
                return Unexpected(Peek());
        }
        // Kept in locals, the last on top of the stack first.
        std::vector<uint32_t> slots(parameters.size());
        for (size_t k = parameters.size(); k > 0; --k)
            if (!StoreNew(parameters[k - 1].shape, call, slots[k - 1]))
                return false;
        for (size_t k = 0; k < parameters.size(); ++k)
            locals_.push_back({parameters[k].name, slots[k], parameters[k].shape});

        tokens_ = &body;
        const bool ok = Body(name, returned);
        tokens_ = caller;
        locals_.resize(localsBefore);
        frame_ = frame;
        --callDepth_;
        return ok;
    }

    // Declarations, assignments and a return: what a function that computes
    // a value is made of.
    bool Body(const std::string& name, const ValueShape& returned)
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
                if (!Comma() || !ConvertTo(returned, t, false))
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

    bool Declarators(const ValueShape& shape)
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
                if (!Assignment() || !ConvertTo(shape, at, false))
                    return false;
            } else {
                ExpressionValue zero;
                zero.shape = shape;
                zero.components.assign(shape.Components(), 0.0);
                if (!PushConstant(std::move(zero), nameToken))
                    return false;
            }
            uint32_t slot = 0;
            if (!StoreNew(shape, nameToken, slot))
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

    template <class Refuse> bool AssignTo(const Local& local, const Token& at, Refuse notConstant)
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
        if (op != kBinaryCount && !Load(local.slot, at))
            return false;
        if (!Comma())
            return false;
        if (op != kBinaryCount && !Emit({Expression::Op::Binary, op, 0}, value))
            return false;
        if (!ConvertTo(local.shape, value, false))
            return false;
        if (!Emit({Expression::Op::Store, local.slot, 0}, at))
            return false;
        return Expect(';');
    }

    bool List(uint32_t& parts, uint64_t& components, int depth)
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
                components += stack_.back().shape.Components();
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

    ExpressionTokens* tokens_;
    ExpressionNames& names_;
    ExpressionBudget& budget_;
    ExpressionError& error_;
    Expression program_;
    std::vector<Typed> stack_;
    std::vector<ValueShape> inputs_;
    std::vector<ValueShape> slotShapes_;
    std::vector<Local> locals_; // the names of the function being read: locals_[frame_, end)
    size_t frame_ = 0;
    int depth_ = 0;
    int callDepth_ = 0;
};

bool CompileExpression(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                       Expression& out, ExpressionError& error, bool comma)
{
    ExpressionCompiler compiler(tokens, names, budget, error);
    return compiler.Whole(comma, out);
}

bool CompileInitializer(ExpressionTokens& tokens, ExpressionNames& names, ExpressionBudget& budget,
                        const ValueShape& target, Expression& out, ExpressionError& error)
{
    ExpressionCompiler compiler(tokens, names, budget, error);
    return compiler.Initializer(target, out);
}

bool FoldExpression(const Expression& expression, ExpressionBudget& budget, ExpressionValue& out,
                    ExpressionError& error, const Token& at)
{
    std::string why;
    budget.work += expression.Instructions().size();
    if (!expression.Evaluate(nullptr, out, why)) {
        error = {at.line, at.column, at.file, 3025, "not a constant expression: " + why};
        return false;
    }
    if (out.shape.base == ValueBase::Float)
        for (double v : out.components)
            if (std::isnan(v)) {
                error = {at.line, at.column, at.file, 3025,
                         "the value is not a number (a division of zero by zero, or the remainder of a division by zero)"};
                return false;
            }
    return true;
}

} // namespace gfx
