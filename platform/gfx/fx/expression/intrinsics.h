#pragma once
// The intrinsic functions of HLSL as constant expressions read them: which
// have a constant meaning (and how many arguments each takes), which only a
// shader can call, the shape of a call's result, and its value.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/gfx/fx/expression/value.h"

namespace gfx {

// Whether `name` is an intrinsic function of HLSL (with a constant meaning
// or only a shader's).
bool IsIntrinsicName(std::string_view name);

namespace expr {

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
extern const IntrinsicInfo kIntrinsics[kIntrinsicCount];

// How the operands of `mul` meet: the left one's columns (a vector's
// components) with the right one's rows (a vector's components), at the
// smaller of the two, the larger cut to its first: `mul(float3, float4x4)`
// takes the matrix's first three rows, `mul(float4, float3x3)` the vector's
// first three components. The shaders' compiler meets them so too, in a
// function and in an initializer alike.
struct MulSizes {
    uint32_t rows = 1;    // of the result: the left operand's (1 for a vector)
    uint32_t inner = 1;   // where the two meet
    uint32_t columns = 1; // of the result: the right operand's (1 for a vector)
    uint32_t leftColumns = 1;  // as each operand is laid out, row by row
    uint32_t rightColumns = 1;
};
// For two operands of more than one component each.
MulSizes MulMeeting(const ValueShape& left, const ValueShape& right);

// The intrinsic of that name, or kIntrinsicCount.
uint32_t FindIntrinsic(std::string_view name);
// Names that only the shaders can use: never a constant, and never a type.
bool IsShaderOnlyIntrinsic(std::string_view name);

// The shape of intrinsic `which` called with `count` arguments of shapes
// `in`; false, with `why`, when they do not fit it.
bool IntrinsicResult(uint32_t which, uint32_t count, const ValueShape* in, ValueShape& out, std::string& why);
// Writes the value of a call, typed by IntrinsicResult, into
// out[0, result.Components()).
void CallIntrinsic(uint32_t which, const ValueShape* shapes, const double* const* args, const ValueShape& result,
                   double* out);

} // namespace expr
} // namespace gfx
