// DXT1, DXT2/3 and DXT4/5 blocks to and from A8R8G8B8 texels, for the levels
// and sizes a file did not bring. Opaque colours and interpolated alpha are
// encoded by stb_dxt, which fits each block's end points along its colours'
// principal axis and refines them; DXT1 blocks with transparent texels, which
// stb_dxt does not make, take the three-colour mode fitted along the same axis
// here, and DXT2/3's explicit alpha is rounded to its four bits.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring> // stb_dxt copies with memcpy

#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>

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

// The direction along which the colours spread most: the covariance's first
// eigenvector, by power iteration from the widest channel.
std::array<double, 3> PrincipalAxis(const std::array<Rgba, 16>& block, const std::array<bool, 16>& used)
{
    double mean[3] = {0, 0, 0};
    int count = 0;
    for (int i = 0; i < 16; ++i) {
        if (!used[i])
            continue;
        mean[0] += block[i].r;
        mean[1] += block[i].g;
        mean[2] += block[i].b;
        ++count;
    }
    for (double& m : mean)
        m /= count;
    double cov[3][3] = {};
    for (int i = 0; i < 16; ++i) {
        if (!used[i])
            continue;
        const double d[3] = {block[i].r - mean[0], block[i].g - mean[1], block[i].b - mean[2]};
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                cov[a][b] += d[a] * d[b];
    }
    std::array<double, 3> axis{cov[0][0], cov[1][1], cov[2][2]};
    const int widest = int(std::max_element(axis.begin(), axis.end()) - axis.begin());
    axis = {0, 0, 0};
    axis[widest] = 1;
    for (int step = 0; step < 8; ++step) {
        std::array<double, 3> next{};
        for (int a = 0; a < 3; ++a)
            next[a] = cov[a][0] * axis[0] + cov[a][1] * axis[1] + cov[a][2] * axis[2];
        const double length = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
        if (length < 1e-9)
            break;
        for (int a = 0; a < 3; ++a)
            axis[a] = next[a] / length;
    }
    return axis;
}

// The two colours the block's colours reach furthest along the axis.
std::pair<Rgba, Rgba> AxisEnds(const std::array<Rgba, 16>& block, const std::array<bool, 16>& used,
                               const std::array<double, 3>& axis)
{
    double low = 1e30, high = -1e30;
    Rgba lowColour, highColour;
    for (int i = 0; i < 16; ++i) {
        if (!used[i])
            continue;
        const double along = block[i].r * axis[0] + block[i].g * axis[1] + block[i].b * axis[2];
        if (along < low) {
            low = along;
            lowColour = block[i];
        }
        if (along > high) {
            high = along;
            highColour = block[i];
        }
    }
    return {lowColour, highColour};
}

// A DXT1 block in its three-colour mode: two end points, their mean, and
// transparent black for the texels of alpha below one half.
void EncodeTransparentColour(const std::array<Rgba, 16>& block, uint8_t* out)
{
    std::array<bool, 16> opaque{};
    bool any = false;
    for (int i = 0; i < 16; ++i)
        any = (opaque[i] = block[i].a >= 128) || any;
    uint16_t c0 = 0, c1 = 0;
    if (any) {
        const auto [low, high] = AxisEnds(block, opaque, PrincipalAxis(block, opaque));
        c0 = To565(low);
        c1 = To565(high);
        if (c0 > c1)
            std::swap(c0, c1); // c0 <= c1 chooses this mode
    }
    const std::array<Rgba, 4> palette = ColourPalette(c0, c1, true);
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        uint32_t best = 3;
        if (opaque[i]) {
            best = 0;
            for (uint32_t k = 1; k < 3; ++k)
                if (Distance(block[i], palette[k]) < Distance(block[i], palette[best]))
                    best = k;
        }
        indices |= best << (2 * i);
    }
    platform::ByteWriter colour(out, 8);
    colour.U16(c0);
    colour.U16(c1);
    colour.U32(indices);
}

// stb_dxt's encoding of the block's colours (and, with `alpha`, its
// interpolated alpha block first).
void EncodeWithStb(const std::array<Rgba, 16>& block, bool alpha, uint8_t* out)
{
    unsigned char rgba[64];
    for (int i = 0; i < 16; ++i) {
        rgba[4 * i] = static_cast<unsigned char>(block[i].r);
        rgba[4 * i + 1] = static_cast<unsigned char>(block[i].g);
        rgba[4 * i + 2] = static_cast<unsigned char>(block[i].b);
        rgba[4 * i + 3] = static_cast<unsigned char>(block[i].a);
    }
    stb_compress_dxt_block(out, rgba, alpha ? 1 : 0, STB_DXT_HIGHQUAL);
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
                const bool transparent =
                    std::any_of(block.begin(), block.end(), [](const Rgba& t) { return t.a < 128; });
                if (transparent)
                    EncodeTransparentColour(block, blocks);
                else
                    EncodeWithStb(block, false, blocks);
                continue;
            }
            if (!ExplicitAlpha(format)) {
                EncodeWithStb(block, true, blocks);
                continue;
            }
            for (int i = 0; i < 8; ++i)
                blocks[i] = static_cast<uint8_t>((block[2 * i].a * 15 + 127) / 255 |
                                                 ((block[2 * i + 1].a * 15 + 127) / 255) << 4);
            EncodeWithStb(block, false, blocks + 8);
        }
    }
}

} // namespace gfx
