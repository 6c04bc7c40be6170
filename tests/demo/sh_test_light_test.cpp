// The two-lobe test light baked by the demo.
#include "demo/sh_test_light.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr double kPi = 3.141592653589793;
}

TEST(SHTestLight, LobePeaksAndZeros)
{
    for (double phi : {0.0, 1.0, 2.5, 4.0})
        EXPECT_DOUBLE_EQ(SHTestLight(0.0, phi), 1.0);
    EXPECT_NEAR(SHTestLight(kPi / 2, 2.5), 1.0, 1e-12);
    for (double phi : {0.0, 2.5, 5.0})
        EXPECT_EQ(SHTestLight(kPi, phi), 0.0);
    EXPECT_EQ(SHTestLight(kPi / 2, 2.5 + kPi), 0.0);
}

TEST(SHTestLight, LobeEdges)
{
    // The polar lobe ends where cos(theta) = 0.8.
    EXPECT_NEAR(SHTestLight(std::acos(0.85), 0.0), 0.25, 1e-12);
    EXPECT_EQ(SHTestLight(std::acos(0.79), 0.0), 0.0);
    // The equator lobe: halfway between edge (0.75) and peak (1).
    EXPECT_NEAR(SHTestLight(kPi / 2, 2.5 + std::acos(0.875)), 0.5, 1e-6);
}

TEST(SHTestLight, NeverNegative)
{
    for (int i = 0; i <= 64; ++i)
        for (int j = 0; j <= 128; ++j) {
            const double v = SHTestLight(i * kPi / 64, j * 2 * kPi / 128);
            ASSERT_GE(v, 0.0) << i << "," << j;
            ASSERT_LE(v, 1.0 + 1e-9);
        }
    // A NaN angle is not clamped away.
    EXPECT_TRUE(std::isnan(SHTestLight(std::nan(""), 0.0)));
}
