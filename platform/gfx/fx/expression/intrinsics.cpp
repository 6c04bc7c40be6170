#include "platform/gfx/fx/expression/intrinsics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "platform/gfx/fx/expression/operators.h"

namespace gfx {
namespace expr {

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


bool IsShaderOnlyIntrinsic(std::string_view name)
{
    static const std::string_view kNames[] = {
        "tex1D", "tex2D", "tex3D", "texCUBE", "tex2Dlod", "tex2Dproj", "tex2Dbias", "tex2Dgrad",
        "texCUBElod", "texCUBEbias", "tex1Dlod", "tex3Dlod", "ddx", "ddy", "fwidth", "clip",
        "noise", "lit", "dst", "sincos", "modf", "frexp", "frexp", "D3DCOLORtoUBYTE4", "tex1Dproj",
        "tex3Dproj", "texCUBEproj", "tex1Dbias", "tex3Dbias", "tex1Dgrad", "tex3Dgrad", "texCUBEgrad"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}


namespace {

bool Fail(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
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

} // namespace

MulSizes MulMeeting(const ValueShape& left, const ValueShape& right)
{
    MulSizes sizes;
    sizes.rows = left.matrix ? left.rows : 1;
    sizes.leftColumns = left.columns;
    sizes.columns = right.matrix ? right.columns : 1;
    sizes.rightColumns = sizes.columns;
    sizes.inner = std::min<uint32_t>(left.columns, right.matrix ? right.rows : right.columns);
    return sizes;
}

bool IntrinsicResult(uint32_t which, uint32_t count, const ValueShape* in, ValueShape& out, std::string& why)
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
        const MulSizes sizes = MulMeeting(a, b);
        if (!a.matrix && !b.matrix)
            return true; // a dot product
        if (!a.matrix) {
            out.columns = static_cast<uint8_t>(sizes.columns);
        } else if (!b.matrix) {
            out.columns = static_cast<uint8_t>(sizes.rows);
        } else {
            out.matrix = true;
            out.rows = static_cast<uint8_t>(sizes.rows);
            out.columns = static_cast<uint8_t>(sizes.columns);
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

void CallIntrinsic(uint32_t which, const ValueShape* shapes, const double* const* args, const ValueShape& result,
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
        const MulSizes sizes = MulMeeting(a, b);
        for (uint32_t r = 0; r < sizes.rows; ++r)
            for (uint32_t c = 0; c < sizes.columns; ++c) {
                double sum = 0;
                for (uint32_t k = 0; k < sizes.inner; ++k) {
                    const double x = ToBase(args[0][r * sizes.leftColumns + k], base);
                    const double y = ToBase(args[1][k * sizes.rightColumns + c], base);
                    sum = base == ValueBase::Float ? sum + x * y
                                                   : Arithmetic(kAdd, sum, Arithmetic(kMultiply, x, y, base), base);
                }
                out[r * sizes.columns + c] = ToBase(sum, base);
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

} // namespace expr

bool IsIntrinsicName(std::string_view name)
{
    return expr::FindIntrinsic(name) != expr::kIntrinsicCount || expr::IsShaderOnlyIntrinsic(name);
}

} // namespace gfx
