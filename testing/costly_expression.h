#pragma once
// The bytes of a state's expression as a crafted compiled effect may hold
// them, for the effect tests, benchmarks and fuzz seeds: a sound program that
// reads the float parameter `parameter`, fills a local of `elements` float4x4s
// from it once and reads the local again `rounds` times, so that every 18
// bytes ask for 16 steps of work an element (a million at 65,536 elements);
// its value is the parameter's.
#include <cstdint>
#include <vector>

#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/expression/effect_expression.h"

namespace fxtest {

inline std::vector<uint8_t> CostlyExpression(uint32_t parameter, uint32_t rounds, uint32_t elements = 65536)
{
    using Op = gfx::Expression::Op;
    platform::ByteWriter out;
    const auto instruction = [&](Op op, uint32_t a, uint32_t b = 0) {
        out.U8(static_cast<uint8_t>(op));
        out.U32(a);
        out.U32(b);
    };
    const uint32_t scalar = gfx::expr::PackShape(gfx::ValueShape{});
    out.U32(0); // no constants
    out.U32(4 + 2 * rounds);
    instruction(Op::Parameter, parameter, scalar);
    instruction(Op::Convert, gfx::expr::PackShape(gfx::ValueShape{gfx::ValueBase::Float, 4, 4, true, elements}));
    instruction(Op::Store, 0);
    for (uint32_t i = 0; i < rounds; ++i) {
        instruction(Op::Load, 0);
        instruction(Op::Pop, 0);
    }
    instruction(Op::Parameter, parameter, scalar);
    return out.Take();
}

} // namespace fxtest
