// Whichever backend a device has, the same calls leave the same bytes: clears
// of the viewport and of rectangles in it, on two targets at once, and point
// copies into and out of a texture's level.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gfx/raster/gfx_mode.h"
#include "testing/gfx_device_hooks.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

using namespace gfx;

namespace {

std::vector<std::vector<uint8_t>> BytesAfterTheCalls(GfxMode mode, bool& draws)
{
    SetDefaultGfxMode(mode);
    gfx_test::TestDevice test(32, 16);
    SetDefaultGfxMode(GfxMode::Record);
    Device* device = test.device;
    draws = device->Rasterizes();
    Surface *back = nullptr, *second = nullptr, *level = nullptr;
    Texture* texture = nullptr;
    EXPECT_EQ(kOk, device->GetRenderTarget(0, &back));
    EXPECT_EQ(kOk, device->CreateRenderTarget(32, 16, kFormatA8R8G8B8, 0, 0, true, &second));
    EXPECT_EQ(kOk, device->CreateTexture(16, 16, 2, kUsageRenderTarget, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(kOk, texture->GetSurfaceLevel(1, &level));

    EXPECT_EQ(kOk, device->SetRenderTarget(1, second));
    const Viewport view{4, 2, 20, 10, 0.0f, 1.0f};
    EXPECT_EQ(kOk, device->SetViewport(&view));
    const Rect rects[] = {{0, 0, 8, 8}, {10, 6, 30, 16}};
    EXPECT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF102030u, 1.0f, 0));
    EXPECT_EQ(kOk, device->Clear(2, rects, kClearTarget, 0x80A0B0C0u, 1.0f, 0));
    const Rect from{3, 1, 11, 9}, twice{16, 0, 32, 16};
    EXPECT_EQ(kOk, device->StretchRect(back, &from, level, nullptr, kFilterPoint));
    EXPECT_EQ(kOk, device->StretchRect(level, nullptr, second, &twice, kFilterPoint));

    std::vector<std::vector<uint8_t>> bytes;
    for (Surface* surface : {back, second, level}) {
        const auto drawn = platform::testing::DrawnSurfaceBytes(*surface);
        bytes.emplace_back(drawn.begin(), drawn.end());
    }
    device->SetRenderTarget(1, nullptr);
    for (RefCounted* object : std::initializer_list<RefCounted*>{back, second, level, texture}) object->Release();
    return bytes;
}

TEST(GfxBackend, TheSameCallsLeaveTheSameBytesWhicheverBackendCarriesThemOut)
{
    bool draws = true;
    const auto recorded = BytesAfterTheCalls(GfxMode::Record, draws);
    EXPECT_FALSE(draws);
    const auto drawn = BytesAfterTheCalls(GfxMode::Raster, draws);
    if (!draws) GTEST_SKIP() << "no OpenGL 4.5 context can be made here; nothing is drawn";
    ASSERT_EQ(recorded.size(), drawn.size());
    for (size_t i = 0; i < recorded.size(); ++i) EXPECT_EQ(recorded[i], drawn[i]) << "image " << i;
}

} // namespace
