// The start-up's bake: its three progress lines and sixteen coefficient lines
// in the stream's default format, the same on every run, and the splats the
// scene effects are given: each coefficient in all four lanes of one aligned
// 256-byte block that stays put.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "demo/sh_bake.h"
#include "testing/os_hooks.h"
#include "testing/test_files.h"

TEST(ShBake, PrintsItsLinesAndKeepsTheCoefficientsSplatted)
{
    platform::testing::RestartRand();
    std::ostringstream out;
    const float4* splats = BakeShLighting(out);
    const std::vector<std::string> lines = zandrel_test::Lines(out.str());
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "Generating samples...");
    EXPECT_EQ(lines[1], "Projecting to SH...");
    EXPECT_EQ(lines[2], "Baked:");
    // Six significant digits, fixed or exponent as the value needs.
    EXPECT_EQ(lines[3], "0.399249");
    EXPECT_EQ(lines[4], "-0.210748");
    EXPECT_EQ(lines[8], "-0.00039827");
    EXPECT_EQ(lines[10], "0.000976627");

    ASSERT_EQ(reinterpret_cast<uintptr_t>(splats) % 16, 0u);
    EXPECT_EQ(splats, ShCoeffSplats());
    for (int i = 0; i < kBakeCoefficients; ++i) {
        SCOPED_TRACE(i);
        const float c = std::strtof(lines[3 + i].c_str(), nullptr);
        EXPECT_NEAR(splats[i].x, c, std::abs(c) * 1e-5f);
        EXPECT_EQ(splats[i].x, splats[i].y);
        EXPECT_EQ(splats[i].x, splats[i].z);
        EXPECT_EQ(splats[i].x, splats[i].w);
    }

    // Again: the same lines into the same block.
    platform::testing::RestartRand();
    std::ostringstream again;
    EXPECT_EQ(BakeShLighting(again), splats);
    EXPECT_EQ(again.str(), out.str());
}
