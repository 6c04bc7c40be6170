// A recording device carries out clears and stretch copies only when their
// bytes are read: whatever is read, whenever, equals what doing each call at
// once gives. Two devices take the same calls; one reads every image after
// every call, the other only now and then.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "testing/gfx_device_hooks.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

using namespace gfx;

namespace {

struct Images {
    explicit Images(Device* device)
    {
        Surface* s = nullptr;
        EXPECT_EQ(kOk, device->GetRenderTarget(0, &s));
        colour.push_back(s);
        EXPECT_EQ(kOk, device->CreateRenderTarget(16, 8, kFormatX8R8G8B8, 0, 0, true, &s));
        colour.push_back(s);
        EXPECT_EQ(kOk, device->CreateTexture(32, 16, 2, kUsageRenderTarget, kFormatA8R8G8B8, kPoolDefault, &texture));
        for (uint32_t level = 0; level < 2; ++level) {
            texture->GetSurfaceLevel(level, &s);
            colour.push_back(s);
        }
        for (uint32_t format : {kFormatD24S8, kFormatD24X8, kFormatD16}) {
            EXPECT_EQ(kOk, device->CreateDepthStencilSurface(32, 16, format, 0, 0, true, &s));
            depth.push_back(s);
        }
    }
    ~Images()
    {
        for (Surface* s : colour) s->Release();
        for (Surface* s : depth) s->Release();
        texture->Release();
    }
    std::vector<Surface*> All() const
    {
        std::vector<Surface*> all = colour;
        all.insert(all.end(), depth.begin(), depth.end());
        return all;
    }
    std::vector<Surface*> colour; // back buffer, a lockable target, two levels of a target texture
    std::vector<Surface*> depth;
    Texture* texture = nullptr;
};

std::vector<uint8_t> Read(Surface& surface)
{
    const auto bytes = platform::testing::SurfaceBytes(surface);
    return {bytes.begin(), bytes.end()};
}

Rect Within(uint32_t& seed, const Surface& surface)
{
    const auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    const auto x = static_cast<int32_t>(next(surface.Width())), y = static_cast<int32_t>(next(surface.Height()));
    return {x, y, x + 1 + static_cast<int32_t>(next(surface.Width() - x)),
            y + 1 + static_cast<int32_t>(next(surface.Height() - y))};
}

} // namespace

TEST(GfxDeferredWork, ReadsFindWhatWorkDoneAtOnceWouldHaveLeft)
{
    gfx_test::TestDevice eagerTest(32, 16), lazyTest(32, 16);
    Device* devices[] = {eagerTest.device, lazyTest.device};
    Images eager(devices[0]), lazy(devices[1]);
    Images* images[] = {&eager, &lazy};
    uint32_t seed = 7;
    const auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    for (int step = 0; step < 600; ++step) {
        const uint32_t what = next(10);
        const uint32_t a = next(4), b = (a + 1 + next(3)) % 4, d = next(3);
        const uint32_t colour = seed, stencil = next(256), flags = 1 + next(7);
        const float z = static_cast<float>(next(1001)) / 1000.0f;
        uint32_t rectSeed = seed;
        for (int i = 0; i < 2; ++i) {
            Device* device = devices[i];
            Images& set = *images[i];
            uint32_t s = rectSeed;
            if (what < 5) { // a clear of the whole target or of rectangles in it
                device->SetRenderTarget(0, set.colour[a]);
                device->SetDepthStencilSurface(set.depth[d]);
                const Rect rects[2] = {Within(s, *set.colour[a]), Within(s, *set.colour[a])};
                const uint32_t count = what < 2 ? 0 : 1 + what % 2;
                const uint32_t use = d == 0 ? flags : flags & ~kClearStencil; // only D24S8 keeps stencil
                ASSERT_EQ(kOk, device->Clear(count, count ? rects : nullptr, use ? use : kClearTarget, colour, z,
                                             stencil));
            } else if (what < 8) { // a stretch copy, whole or between rectangles
                const Rect from = Within(s, *set.colour[a]), to = Within(s, *set.colour[b]);
                const bool whole = what == 5;
                ASSERT_EQ(kOk, device->StretchRect(set.colour[a], whole ? nullptr : &from, set.colour[b],
                                                   whole ? nullptr : &to, what == 7 ? kFilterLinear : kFilterPoint));
            } else if (what == 8) { // the CPU writes into a lockable target
                LockedRect locked;
                ASSERT_EQ(kOk, set.colour[1]->LockRect(&locked, nullptr, 0));
                std::memset(locked.bits, static_cast<int>(stencil), 4);
                set.colour[1]->UnlockRect();
            } else if (i == 1 && next(2) == 0) { // now and then the lazy device is read
                Surface* surface = set.All()[a + d];
                EXPECT_EQ(Read(*eager.All()[a + d]), Read(*surface)) << "step " << step;
            }
            if (i == 0) {
                for (Surface* surface : eager.All()) Read(*surface); // the eager device is read at every step
            }
        }
    }
    for (size_t k = 0; k < eager.All().size(); ++k)
        EXPECT_EQ(Read(*eager.All()[k]), Read(*lazy.All()[k])) << "image " << k;
}

TEST(GfxDeferredWork, ACopyFromAnImageAboutToGoIsCarriedOutFirst)
{
    gfx_test::TestDevice test(8, 8);
    Device* device = test.device;
    Surface* back = nullptr;
    device->GetRenderTarget(0, &back);
    Surface* source = nullptr;
    ASSERT_EQ(kOk, device->CreateRenderTarget(8, 8, kFormatA8R8G8B8, 0, 0, false, &source));
    device->SetRenderTarget(0, source);
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF123456, 1.0f, 0));
    ASSERT_EQ(kOk, device->StretchRect(source, nullptr, back, nullptr, kFilterPoint));
    device->SetRenderTarget(0, back);
    source->Release(); // its bytes go before anything read the copy
    uint32_t texel = 0;
    std::memcpy(&texel, Read(*back).data(), 4);
    EXPECT_EQ(0xFF123456u, texel);
    back->Release();
}
