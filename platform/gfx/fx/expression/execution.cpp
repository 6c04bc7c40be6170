#include "platform/gfx/fx/expression/execution.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/expression/operators.h"

namespace gfx::expr {

namespace {

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

void Apply(const Expression::Instruction& in, const ValueShape* shapes, const double* const* inputs,
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
        CallIntrinsic(in.a, shapes, inputs, result, out);
        return;
    case Expression::Op::Insert: {
        std::copy(inputs[1], inputs[1] + result.Components(), out);
        const uint32_t count = in.b & 7;
        if (count == 0)
            std::copy(inputs[0], inputs[0] + shapes[0].Components(), out + in.a);
        for (uint32_t k = 0; k < count; ++k)
            out[in.a + (in.b >> (3 + 4 * k) & 15)] = inputs[0][k];
        return;
    }
    case Expression::Op::Choose: {
        const double* chosen = inputs[inputs[0][0] != 0 ? 1 : 2];
        std::copy(chosen, chosen + result.Components(), out);
        return;
    }
    default:
        return;
    }
}

} // namespace gfx::expr
