#pragma once
// The operators of constant expressions: their numbers in a program, their
// spellings, and what each computes on one component. Integers wrap as the
// machine does; an integer division or remainder by zero gives all bits set
// (the compiler refuses a constant one before it gets here); a float division
// by zero gives an infinity.
#include <cstdint>

#include "platform/gfx/fx/expression/value.h"

namespace gfx::expr {

enum UnaryOp : uint32_t { kNegate, kPlus, kNot, kComplement, kUnaryCount };
enum BinaryOp : uint32_t {
    kAdd, kSubtract, kMultiply, kDivide, kRemainder,
    kLess, kGreater, kLessEqual, kGreaterEqual, kEqual, kNotEqual,
    kAnd, kOr, kBitAnd, kBitOr, kBitXor, kShiftLeft, kShiftRight,
    kBinaryCount
};
inline constexpr const char* kBinarySpelling[] = {"+", "-", "*", "/", "%", "<", ">", "<=", ">=", "==", "!=",
                                                  "&&", "||", "&", "|", "^", "<<", ">>"};

inline bool IsComparison(uint32_t op) { return op >= kLess && op <= kNotEqual; }
inline bool IsLogical(uint32_t op) { return op == kAnd || op == kOr; }
inline bool IsBitwise(uint32_t op) { return op >= kBitAnd; }

// `a op b` in `base` (kAdd to kRemainder), the operands already of that base.
double Arithmetic(uint32_t op, double a, double b, ValueBase base);
// One component of a binary operation of operands of `aBase` and `bBase`,
// as a value of `resultBase`.
double BinaryComponent(uint32_t op, double a, double b, ValueBase aBase, ValueBase bBase, ValueBase resultBase);

} // namespace gfx::expr
