// The shadow atlas's summed-area table drawn for real: after a frame on the
// drawing device every texel of the table holds the sums, over its tile's
// texels up to it, of the drawn atlas's cover (exactly) and cover x depth
// (within the roundings of the sums).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <span>
#include <tuple>
#include <vector>

#include "demo/shadow_demo.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "testing/gfx_device_hooks.h"
#include "tests/demo/demo_world.h"

namespace {

// The (depth or sums, free or cover) pairs of a drawn two-channel float target, row after row.
std::vector<float> Drawn(TextureResource& texture, uint32_t side)
{
    gfx::Surface& surface = *texture.GetPayload()->target.colour;
    const std::span<const uint8_t> bytes = platform::testing::DrawnSurfaceBytes(surface);
    const uint32_t pitch = platform::testing::SurfacePitch(surface);
    std::vector<float> texels(size_t(side) * side * 2);
    for (uint32_t y = 0; y < side; ++y)
        std::memcpy(&texels[size_t(y) * side * 2], bytes.data() + size_t(y) * pitch, side * 8);
    return texels;
}

} // namespace

TEST(ShadowTable, HoldsTheSumsOfTheDrawnAtlasOverEachTile)
{
    gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
    demo_test::DemoWorld world;
    gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
    ASSERT_TRUE(world.Started());
    if (!GetRenderer()->Device()->Rasterizes())
        GTEST_SKIP() << "no drawing device here";
    auto demo = std::make_unique<ShadowDemo>();
    demo->InitDemo();
    demo->DemoFrame();

    constexpr int kSide = 512, kTile = 256;
    const std::vector<float> atlas = Drawn(demo->shadowAtlas, kSide);
    const std::vector<float> table = Drawn(demo->shadowAtlasSAT, kSide);
    std::vector<double> depth(size_t(kSide) * kSide), cover(size_t(kSide) * kSide);
    double covered = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const size_t at = size_t(y) * kSide + x;
            const double c = 1.0 - atlas[at * 2 + 1];
            double d = atlas[at * 2] * c, n = c;
            for (const auto& [dx, dy, sign] : {std::tuple{1, 0, 1.0}, {0, 1, 1.0}, {1, 1, -1.0}})
                if (x % kTile >= dx && y % kTile >= dy) {
                    d += sign * depth[at - size_t(dy) * kSide - dx];
                    n += sign * cover[at - size_t(dy) * kSide - dx];
                }
            depth[at] = d, cover[at] = n, covered += c;
            ASSERT_EQ(table[at * 2 + 1], n) << "cover at " << x << "," << y;
            ASSERT_NEAR(table[at * 2], d, 1e-4 + 2e-6 * n) << "cover x depth at " << x << "," << y;
        }
    EXPECT_GT(covered, 1000.0) << "the casters reach the atlas";
    demo.reset();
}
