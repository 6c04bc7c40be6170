#include "platform/gfx/fx/expression/operators.h"

#include <cmath>
#include <limits>

namespace gfx::expr {

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

} // namespace gfx::expr
