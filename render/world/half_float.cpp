#include "render/world/half_float.h"

#include <array>
#include <bit>
#include <cmath>

namespace {

struct HalfTables {
    std::array<uint16_t, 512> base{};
    std::array<uint8_t, 512> shift{};

    HalfTables()
    {
        for (int i = 0; i < 256; ++i) {
            const int e = i - 127;
            uint16_t b;
            uint8_t s;
            if (e < -24) { // below the smallest subnormal: zero
                b = 0x0000;
                s = 24;
            } else if (e < -14) { // a subnormal half
                b = static_cast<uint16_t>(0x0400 >> (-e - 14));
                s = static_cast<uint8_t>(-e - 1);
            } else if (e <= 15) { // a normal half
                b = static_cast<uint16_t>((e + 15) << 10);
                s = 13;
            } else if (e < 128) { // too large: infinity
                b = 0x7C00;
                s = 24;
            } else { // infinity and NaN keep their mantissa's top bits
                b = 0x7C00;
                s = 13;
            }
            base[i] = b;
            base[i | 0x100] = static_cast<uint16_t>(b | 0x8000);
            shift[i] = s;
            shift[i | 0x100] = s;
        }
    }
};

const HalfTables& Tables()
{
    static const HalfTables tables;
    return tables;
}

} // namespace

uint16_t FloatToHalf(float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint32_t index = (bits >> 23) & 0x1FF;
    const HalfTables& t = Tables();
    return static_cast<uint16_t>(t.base[index] + ((bits & 0x007FFFFF) >> t.shift[index]));
}

float HalfToFloat(uint16_t half)
{
    const float sign = (half & 0x8000) ? -1.0f : 1.0f;
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    if (exponent == 0)
        return sign * std::ldexp(static_cast<float>(mantissa), -24);
    if (exponent == 31)
        return mantissa ? std::nanf("") : sign * INFINITY;
    return sign * std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
}
