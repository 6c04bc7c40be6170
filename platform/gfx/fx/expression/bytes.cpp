// The bytes of an Expression (declared in effect_expression.h): its constants
// and instructions as little-endian words, read back only as a sound program.
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"

namespace gfx {

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
    return base == ValueBase::Float ? std::bit_cast<uint32_t>(static_cast<float>(v)) : expr::AsUint(v);
}

double ComponentOf(uint32_t bits, ValueBase base)
{
    switch (base) {
    case ValueBase::Float: return std::bit_cast<float>(bits);
    case ValueBase::Int: return static_cast<int32_t>(bits);
    default: return bits;
    }
}

} // namespace

void Expression::Write(std::vector<uint8_t>& out) const
{
    PutWord(out, static_cast<uint32_t>(constants_.size()));
    for (const ExpressionValue& c : constants_) {
        PutWord(out, expr::PackShape(c.shape));
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
    // A constant is its shape and at least one component.
    if (count > (size - at) / 8)
        return damaged("more constants than bytes");
    e.constants_.resize(count);
    for (ExpressionValue& c : e.constants_) {
        uint32_t packed = 0;
        if (!GetWord(data, size, at, packed) || !expr::UnpackShape(packed, c.shape))
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
        if (op > static_cast<uint8_t>(Op::Choose))
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

} // namespace gfx
