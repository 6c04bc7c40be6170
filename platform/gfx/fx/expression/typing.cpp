#include "platform/gfx/fx/expression/typing.h"

#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/expression/operators.h"

namespace gfx::expr {

namespace {

bool Fail(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
}


} // namespace

uint32_t ExpressionTyping::Inputs(const Expression::Instruction& in)
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
    case Expression::Op::Index:
    case Expression::Op::Insert: return 2;
    case Expression::Op::Select:
    case Expression::Op::Choose: return 3;
    case Expression::Op::Construct:
    case Expression::Op::Call: return in.b;
    }
    return 0;
}


bool ExpressionTyping::Result(const Expression::Instruction& in, const ValueShape* inputs, ValueShape& out,
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
        uint32_t count = 0;
        if (!IndexedElement(a, out, count))
            return Fail(why, "'" + ShapeName(a) + "' cannot be indexed");
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
        return IntrinsicResult(in.a, in.b, inputs, out, why);
    case Expression::Op::Insert: {
        const ValueShape& value = inputs[0];
        const ValueShape& target = inputs[1];
        if (value.base != target.base)
            return Fail(why, "a value written into another of a different base");
        const uint32_t count = in.b & 7;
        if (count == 0) {
            if (in.a > target.Components() || value.Components() > target.Components() - in.a)
                return Fail(why, "a value written past the end of its target");
        } else {
            if (count > 4 || (in.b >> (3 + 4 * count)) != 0 || value.Components() != count)
                return Fail(why, "invalid components written");
            for (uint32_t k = 0; k < count; ++k)
                if (uint64_t(in.a) + (in.b >> (3 + 4 * k) & 15) >= target.Components())
                    return Fail(why, "a component written past the end of its target");
        }
        out = target;
        return true;
    }
    case Expression::Op::Choose:
        if (inputs[0].arraySize != 0 || inputs[0].ElementComponents() != 1)
            return Fail(why, "a choice made by '" + ShapeName(inputs[0]) + "', not one value");
        if (!(inputs[1] == inputs[2]))
            return Fail(why, "a choice between '" + ShapeName(inputs[1]) + "' and '" + ShapeName(inputs[2]) + "'");
        out = inputs[1];
        return true;
    default:
        return Fail(why, "invalid instruction");
    }
}

bool ExpressionTyping::Converts(const ValueShape& from, const ValueShape& to, std::string& why)
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

} // namespace gfx::expr
