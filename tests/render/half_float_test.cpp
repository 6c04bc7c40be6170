// Half floats: exact values, truncation toward zero, subnormals, overflow to
// infinity, underflow to signed zero, NaN, and every particle index of a set-up
// up to 2048 exact.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/world/half_float.h"

TEST(HalfFloat, ConvertsByTruncationTowardZero)
{
    struct Case {
        float in;
        uint16_t out;
    };
    const Case cases[] = {
        {0.0f, 0x0000},
        {-0.0f, 0x8000},
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {0.5f, 0x3800},
        {65504.0f, 0x7BFF},                    // the largest half
        {65519.0f, 0x7BFF},                    // rounds down, never up
        {65536.0f, 0x7C00},                    // too large: infinity
        {-1e30f, 0xFC00},
        {1.0f + 1.0f / 1024.0f, 0x3C01},
        {1.0f + 1.9f / 1024.0f, 0x3C01},       // truncated
        {-(1.0f + 1.9f / 1024.0f), 0xBC01},    // toward zero on the negative side too
        {std::ldexp(1.0f, -14), 0x0400},       // smallest normal
        {std::ldexp(1.0f, -15), 0x0200},       // subnormal
        {std::ldexp(1.0f, -24), 0x0001},       // smallest subnormal
        {std::ldexp(1.0f, -25), 0x0000},       // too small: zero
        {-std::ldexp(1.0f, -26), 0x8000},      // signed zero
        {std::numeric_limits<float>::infinity(), 0x7C00},
        {-std::numeric_limits<float>::infinity(), 0xFC00},
        {0.99996948f, 0x3BFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FloatToHalf(c.in), c.out) << c.in;
    const uint16_t nan = FloatToHalf(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(nan & 0x7C00, 0x7C00);
    EXPECT_NE(nan & 0x03FF, 0);
}

TEST(HalfFloat, IndicesAreExactUpTo2048AndNotAt2049)
{
    for (uint32_t i = 0; i <= 2048; ++i)
        ASSERT_EQ(HalfToFloat(FloatToHalf(static_cast<float>(i))), static_cast<float>(i)) << i;
    EXPECT_EQ(HalfToFloat(FloatToHalf(2049.0f)), 2048.0f);
    // Every half survives the way back and forth.
    for (uint32_t h = 0; h < 0x10000; ++h) {
        if ((h & 0x7C00) == 0x7C00 && (h & 0x3FF))
            continue; // NaN
        ASSERT_EQ(FloatToHalf(HalfToFloat(static_cast<uint16_t>(h))), h) << h;
    }
}
