// DXT1, DXT2/3 and DXT4/5 blocks to and from A8R8G8B8 texels. The encoder is
// simple (endpoints from the block's bounding box, nearest palette entry): it
// only makes levels and sizes a file did not bring.
#include <algorithm>
#include <array>
#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/image/texture_loader.h"

namespace gfx {

namespace {

struct Rgba {
    int r = 0, g = 0, b = 0, a = 255;
};

Rgba From565(uint16_t c)
{
    Rgba out;
    out.r = ((c >> 11) & 31) * 255 / 31;
    out.g = ((c >> 5) & 63) * 255 / 63;
    out.b = (c & 31) * 255 / 31;
    return out;
}

uint16_t To565(const Rgba& c)
{
    return static_cast<uint16_t>(((c.r * 31 + 127) / 255) << 11 | ((c.g * 63 + 127) / 255) << 5 |
                                 ((c.b * 31 + 127) / 255));
}

std::array<Rgba, 4> ColourPalette(uint16_t c0, uint16_t c1, bool allowTransparent)
{
    std::array<Rgba, 4> p{From565(c0), From565(c1), {}, {}};
    if (c0 > c1 || !allowTransparent) {
        p[2] = {(2 * p[0].r + p[1].r) / 3, (2 * p[0].g + p[1].g) / 3, (2 * p[0].b + p[1].b) / 3, 255};
        p[3] = {(p[0].r + 2 * p[1].r) / 3, (p[0].g + 2 * p[1].g) / 3, (p[0].b + 2 * p[1].b) / 3, 255};
    } else {
        p[2] = {(p[0].r + p[1].r) / 2, (p[0].g + p[1].g) / 2, (p[0].b + p[1].b) / 2, 255};
        p[3] = {0, 0, 0, 0};
    }
    return p;
}

std::array<int, 8> AlphaPalette(int a0, int a1)
{
    std::array<int, 8> p{a0, a1, 0, 0, 0, 0, 0, 0};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i)
            p[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i < 5; ++i)
            p[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        p[6] = 0;
        p[7] = 255;
    }
    return p;
}

uint32_t BlockBytes(uint32_t format) { return format == kFormatDXT1 ? 8u : 16u; }
bool ExplicitAlpha(uint32_t format) { return format == kFormatDXT2 || format == kFormatDXT3; }

// The 16 texels of one block, clamped at the image's edge.
std::array<Rgba, 16> GatherBlock(const uint8_t* texels, uint32_t width, uint32_t height, uint32_t bx, uint32_t by)
{
    std::array<Rgba, 16> block;
    for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
            const uint32_t sx = std::min(bx * 4 + x, width - 1), sy = std::min(by * 4 + y, height - 1);
            const uint8_t* t = texels + (size_t(sy) * width + sx) * 4;
            block[y * 4 + x] = {t[2], t[1], t[0], t[3]};
        }
    }
    return block;
}

int Distance(const Rgba& a, const Rgba& b)
{
    return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
}

void EncodeColour(const std::array<Rgba, 16>& block, bool dxt1, uint8_t* out)
{
    Rgba lo{255, 255, 255, 255}, hi{0, 0, 0, 255};
    bool transparent = false;
    for (const Rgba& t : block) {
        if (dxt1 && t.a < 128) {
            transparent = true;
            continue;
        }
        lo = {std::min(lo.r, t.r), std::min(lo.g, t.g), std::min(lo.b, t.b), 255};
        hi = {std::max(hi.r, t.r), std::max(hi.g, t.g), std::max(hi.b, t.b), 255};
    }
    uint16_t c0 = To565(hi), c1 = To565(lo);
    if (transparent) {
        if (c0 > c1)
            std::swap(c0, c1); // three colours and transparent black
    } else if (c0 < c1) {
        std::swap(c0, c1);
    }
    const std::array<Rgba, 4> palette = ColourPalette(c0, c1, dxt1);
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        uint32_t best = 0;
        if (transparent && block[i].a < 128) {
            best = 3;
        } else if (c0 != c1) {
            int bestDistance = Distance(block[i], palette[0]);
            const uint32_t choices = transparent ? 3 : 4;
            for (uint32_t k = 1; k < choices; ++k) {
                const int d = Distance(block[i], palette[k]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = k;
                }
            }
        }
        indices |= best << (2 * i);
    }
    platform::ByteWriter colour(out, 8);
    colour.U16(c0);
    colour.U16(c1);
    colour.U32(indices);
}

void EncodeAlpha(const std::array<Rgba, 16>& block, uint8_t* out)
{
    int lo = 255, hi = 0;
    for (const Rgba& t : block) {
        lo = std::min(lo, t.a);
        hi = std::max(hi, t.a);
    }
    const std::array<int, 8> palette = AlphaPalette(hi, lo);
    uint64_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        uint64_t best = 0;
        if (hi != lo) {
            int bestDistance = 1 << 30;
            for (uint64_t k = 0; k < 8; ++k) {
                const int d = std::abs(block[i].a - palette[k]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = k;
                }
            }
        }
        indices |= best << (3 * i);
    }
    platform::ByteWriter alpha(out, 8);
    alpha.U8(static_cast<uint8_t>(hi));
    alpha.U8(static_cast<uint8_t>(lo));
    alpha.U16(static_cast<uint16_t>(indices)); // 48 bits of indices
    alpha.U32(static_cast<uint32_t>(indices >> 16));
}

} // namespace

void DecodeBlocks(uint32_t format, const uint8_t* blocks, uint32_t width, uint32_t height, uint8_t* texels)
{
    const uint32_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    const bool dxt1 = format == kFormatDXT1;
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx, blocks += BlockBytes(format)) {
            platform::ByteReader colour(dxt1 ? blocks : blocks + 8, 8);
            const uint16_t c0 = colour.U16();
            const uint16_t c1 = colour.U16();
            const std::array<Rgba, 4> palette = ColourPalette(c0, c1, dxt1);
            const uint32_t indices = colour.U32();
            platform::ByteReader alpha(blocks, 8);
            const uint8_t a0 = alpha.U8();
            const uint8_t a1 = alpha.U8();
            const std::array<int, 8> alphas = AlphaPalette(a0, a1);
            const uint64_t alphaIndices = alpha.U16() | uint64_t{alpha.U32()} << 16; // 48 bits
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x >= width || y >= height)
                    continue;
                Rgba t = palette[(indices >> (2 * i)) & 3];
                if (ExplicitAlpha(format))
                    t.a = ((blocks[i / 2] >> (4 * (i % 2))) & 15) * 17;
                else if (!dxt1)
                    t.a = alphas[(alphaIndices >> (3 * i)) & 7];
                uint8_t* out = texels + (size_t(y) * width + x) * 4;
                out[0] = static_cast<uint8_t>(t.b);
                out[1] = static_cast<uint8_t>(t.g);
                out[2] = static_cast<uint8_t>(t.r);
                out[3] = static_cast<uint8_t>(t.a);
            }
        }
    }
}

void EncodeBlocks(uint32_t format, const uint8_t* texels, uint32_t width, uint32_t height, uint8_t* blocks)
{
    const uint32_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx, blocks += BlockBytes(format)) {
            const std::array<Rgba, 16> block = GatherBlock(texels, width, height, bx, by);
            if (format == kFormatDXT1) {
                EncodeColour(block, true, blocks);
                continue;
            }
            if (ExplicitAlpha(format)) {
                for (int i = 0; i < 8; ++i)
                    blocks[i] = static_cast<uint8_t>((block[2 * i].a * 15 + 127) / 255 |
                                                     ((block[2 * i + 1].a * 15 + 127) / 255) << 4);
            } else {
                EncodeAlpha(block, blocks);
            }
            EncodeColour(block, false, blocks + 8);
        }
    }
}

} // namespace gfx
