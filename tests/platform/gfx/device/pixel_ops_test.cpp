// The fast texel work of clears and copies against a plain texel-by-texel
// reading of what each must do: same bytes in every texel, inside and outside
// the rectangle, for every texel size and depth format the device clears.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/pixel_ops.h"

using namespace gfx;

namespace {

// An image of noise with a pitch wider than its rows, so writes past a row's
// rectangle show.
struct Image {
    Image(uint32_t width, uint32_t height, uint32_t texelBytes, uint32_t seed)
        : width(width), height(height), pitch(width * texelBytes + 12), bytes(size_t(pitch) * height)
    {
        std::mt19937 random(seed);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    }
    uint32_t width, height, pitch;
    std::vector<uint8_t> bytes;
};

struct DepthCase {
    uint32_t format;
    uint32_t bytes;
    uint32_t depthBits;
    uint32_t stencilBits;
};

const DepthCase kDepthFormats[] = {
    {kFormatD32, 4, 32, 0}, {kFormatD24S8, 4, 24, 8}, {kFormatD24X8, 4, 24, 0},
    {kFormatD24X4S4, 4, 24, 4}, {kFormatD16, 2, 16, 0}, {kFormatD15S1, 2, 15, 1},
};

const Rect kRects[] = {{0, 0, 13, 7}, {3, 2, 9, 6}, {12, 6, 13, 7}, {5, 3, 5, 6}, {0, 4, 13, 5}};

// Depth above stencil and unused bits, the rest of each texel kept.
void ReferenceClear(Image& image, const DepthCase& f, const Rect& r, bool depth, float z, bool stencil,
                    uint32_t stencilValue)
{
    const uint32_t shift = f.bytes * 8 - f.depthBits;
    const uint64_t depthMax = (uint64_t{1} << f.depthBits) - 1;
    const uint32_t depthValue = static_cast<uint32_t>(std::llround(double(z) * double(depthMax)));
    const uint32_t depthMask = static_cast<uint32_t>(depthMax << shift);
    const uint32_t stencilMask = f.stencilBits ? (1u << f.stencilBits) - 1 : 0;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) {
            uint8_t* at = image.bytes.data() + size_t(y) * image.pitch + size_t(x) * f.bytes;
            uint32_t texel = 0;
            std::memcpy(&texel, at, f.bytes);
            if (depth) texel = (texel & ~depthMask) | ((depthValue << shift) & depthMask);
            if (stencil) texel = (texel & ~stencilMask) | (stencilValue & stencilMask);
            std::memcpy(at, &texel, f.bytes);
        }
    }
}

void ReferenceNearest(const Image& src, const Rect& from, Image& dst, const Rect& to, uint32_t bpp, bool fillAlpha)
{
    const int32_t sw = from.right - from.left, sh = from.bottom - from.top;
    const int32_t dw = to.right - to.left, dh = to.bottom - to.top;
    for (int32_t y = 0; y < dh; ++y) {
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t sx = from.left + int32_t(int64_t(x) * sw / dw);
            const int32_t sy = from.top + int32_t(int64_t(y) * sh / dh);
            uint8_t* out = dst.bytes.data() + size_t(to.top + y) * dst.pitch + size_t(to.left + x) * bpp;
            std::memcpy(out, src.bytes.data() + size_t(sy) * src.pitch + size_t(sx) * bpp, bpp);
            if (fillAlpha) out[3] = 0xFF;
        }
    }
}

} // namespace

TEST(PixelOps, FillRectWritesEveryTexelSizeOnlyInsideItsRectangle)
{
    for (const uint32_t texelBytes : {1u, 2u, 3u, 4u, 8u, 16u}) {
        for (const Rect& rect : kRects) {
            Image fast(13, 7, texelBytes, 1), expected(13, 7, texelBytes, 1);
            uint8_t texel[16];
            for (uint32_t i = 0; i < 16; ++i) texel[i] = static_cast<uint8_t>(0xA0 + i);
            FillRect(fast.bytes.data(), fast.pitch, rect, texel, texelBytes);
            for (int32_t y = rect.top; y < rect.bottom; ++y)
                for (int32_t x = rect.left; x < rect.right; ++x)
                    std::memcpy(expected.bytes.data() + size_t(y) * expected.pitch + size_t(x) * texelBytes, texel,
                                texelBytes);
            EXPECT_EQ(expected.bytes, fast.bytes) << texelBytes << " bytes, rect " << rect.left << "," << rect.top;
        }
    }
}

TEST(PixelOps, DepthStencilClearWritesItsBitsAndKeepsTheRest)
{
    struct Parts {
        bool depth, stencil;
    };
    for (const DepthCase& f : kDepthFormats) {
        for (const Parts parts : {Parts{true, false}, Parts{false, true}, Parts{true, true}}) {
            for (const float z : {0.0f, 0.37f, 1.0f}) {
                for (const Rect& rect : kRects) {
                    Image fast(13, 7, f.bytes, 7), expected(13, 7, f.bytes, 7);
                    ASSERT_TRUE(ClearDepthStencil(fast.bytes.data(), fast.pitch, f.format, rect, parts.depth, z,
                                                  parts.stencil, 0x5Au));
                    ReferenceClear(expected, f, rect, parts.depth, z, parts.stencil, 0x5Au);
                    EXPECT_EQ(expected.bytes, fast.bytes) << "format " << f.format << " depth " << parts.depth
                                                          << " stencil " << parts.stencil << " z " << z;
                }
            }
        }
    }
    Image colour(4, 4, 4, 3);
    EXPECT_FALSE(ClearDepthStencil(colour.bytes.data(), colour.pitch, kFormatA8R8G8B8, kRects[0], true, 1.0f,
                                   false, 0));
}

TEST(PixelOps, NearestStretchCopiesTheTexelUnderEachDestinationTexel)
{
    struct Case {
        uint32_t srcFormat, dstFormat;
        Rect from, to;
    };
    const Case cases[] = {
        {kFormatA8R8G8B8, kFormatA8R8G8B8, {0, 0, 13, 7}, {0, 0, 13, 7}},   // whole, same size
        {kFormatA8R8G8B8, kFormatA8R8G8B8, {2, 1, 9, 5}, {4, 2, 11, 6}},    // same size, moved
        {kFormatX8R8G8B8, kFormatA8R8G8B8, {0, 0, 13, 7}, {0, 0, 13, 7}},   // alpha made opaque
        {kFormatX8R8G8B8, kFormatA8R8G8B8, {1, 1, 7, 4}, {0, 0, 13, 7}},    // and scaled
        {kFormatA8R8G8B8, kFormatA8R8G8B8, {0, 0, 13, 7}, {1, 1, 5, 3}},    // shrunk
        {kFormatL8, kFormatL8, {0, 0, 5, 3}, {0, 0, 13, 7}},                // grown
        {kFormatR5G6B5, kFormatR5G6B5, {3, 0, 10, 7}, {0, 0, 13, 7}},
        {kFormatR8G8B8, kFormatR8G8B8, {0, 0, 13, 7}, {2, 3, 8, 5}},
        {kFormatG32R32F, kFormatG32R32F, {0, 0, 13, 7}, {0, 0, 13, 7}},
        {kFormatA32B32G32R32F, kFormatA32B32G32R32F, {1, 2, 4, 7}, {0, 0, 13, 7}},
    };
    for (const Case& c : cases) {
        for (const uint32_t filter : {kFilterNone, kFilterPoint, kFilterLinear}) {
            const uint32_t bpp = BytesPerTexel(c.srcFormat);
            const bool sameSize = c.from.right - c.from.left == c.to.right - c.to.left &&
                                  c.from.bottom - c.from.top == c.to.bottom - c.to.top;
            if (filter == kFilterLinear && !sameSize && c.srcFormat != kFormatR5G6B5)
                continue; // a filtered scale blends, it is not a texel copy
            const Image src(13, 7, bpp, 11);
            Image fast(13, 7, bpp, 12), expected(13, 7, bpp, 12);
            ASSERT_TRUE(StretchCopy(src.bytes.data(), src.pitch, c.srcFormat, c.from, fast.bytes.data(), fast.pitch,
                                    c.dstFormat, c.to, filter));
            ReferenceNearest(src, c.from, expected, c.to, bpp,
                             c.srcFormat == kFormatX8R8G8B8 && c.dstFormat == kFormatA8R8G8B8);
            EXPECT_EQ(expected.bytes, fast.bytes) << "formats " << c.srcFormat << " to " << c.dstFormat
                                                  << ", filter " << filter << ", into " << c.to.left << ","
                                                  << c.to.top << "-" << c.to.right << "," << c.to.bottom;
        }
    }
}
