// Every kind of texture file the platform's loader reads, written here the
// way tools write them, decoded and loaded into a texture: the texels must be
// the file's, in the format the platform gives that kind.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image_file_writers.h"
#include "jpeg_writer.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/image/image_decode.h"
#include "platform/gfx/image/texture_loader.h"
#include "png_writer.h"
#include "testing/gfx_device_hooks.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace {

using namespace gfx;
using Bytes = std::vector<uint8_t>;
using image_files::BmpOptions;
using image_files::PngOptions;
using image_files::TgaOptions;

constexpr uint32_t kWidth = 13, kHeight = 7; // odd, and rows of 1- and 4-bit indices end mid-byte

struct Kind {
    std::string name;
    Bytes file;
    ImageFileType type;
    uint32_t format;
    Bytes texels; // level 0 as the texture holds it
};

struct Texel {
    uint8_t r, g, b, a;
};

Texel Source(uint32_t x, uint32_t y)
{
    const bool flat = y % 3 == 0; // runs for the run-length writers
    return {uint8_t(flat ? 30 : (x ^ y) * 11), uint8_t(flat ? 20 : y * 53 + 7), uint8_t(flat ? 10 : x * 37 + y),
            uint8_t(255 - x * 5 - y * 3)};
}

// Colour-table index of a texel: few distinct values, repeated in runs.
uint8_t Index(uint32_t x, uint32_t y, uint32_t bits) { return uint8_t(((x / 3) + y * 2) % (1u << bits)); }

// What `texel` gives for each texel, from the top row, joined.
template <class F>
auto Each(F texel, uint32_t width = kWidth)
{
    decltype(texel(0u, 0u)) out;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (auto value : texel(x, y))
                out.push_back(value);
    return out;
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
Bytes U16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
uint32_t Pack1555(const Texel& t, bool alpha)
{
    return (alpha && t.a >= 128 ? 0x8000u : 0u) | (t.r >> 3) << 10 | (t.g >> 3) << 5 | t.b >> 3;
}

// The test picture in each texel layout a file stores.
Bytes Bgra(uint32_t x, uint32_t y) { const Texel t = Source(x, y); return {t.b, t.g, t.r, t.a}; }
Bytes Bgrx(uint32_t x, uint32_t y) { const Texel t = Source(x, y); return {t.b, t.g, t.r, 0xFF}; }
Bytes Bgr(uint32_t x, uint32_t y) { const Texel t = Source(x, y); return {t.b, t.g, t.r}; }
Bytes Grey(uint32_t x, uint32_t y) { return {Source(x, y).g}; }
Bytes GreyAlpha(uint32_t x, uint32_t y) { return {Source(x, y).g, Source(x, y).a}; }
Bytes A1555(uint32_t x, uint32_t y) { return U16(Pack1555(Source(x, y), true)); }
Bytes X1555(uint32_t x, uint32_t y) { return U16(Pack1555(Source(x, y), false)); }
Bytes R565(uint32_t x, uint32_t y) { const Texel t = Source(x, y); return U16((t.r >> 3) << 11 | (t.g >> 2) << 5 | t.b >> 3); }
Bytes A4444(uint32_t x, uint32_t y)
{
    const Texel t = Source(x, y);
    return U16((t.a >> 4) << 12 | (t.r >> 4) << 8 | (t.g >> 4) << 4 | t.b >> 4);
}
Bytes A2R10(uint32_t x, uint32_t y)
{
    const Texel t = Source(x, y);
    return U32(uint32_t(t.a >> 6) << 30 | uint32_t(t.r) << 22 | uint32_t(t.g) << 12 | uint32_t(t.b) << 2 | (x & 3));
}
// Masks of no format: 11 bits of red (x & 7 in its lowest three), 11 of
// green, 10 of blue, widened or narrowed to 8.
Bytes OddMasks(uint32_t x, uint32_t y)
{
    const Texel t = Source(x, y);
    return U32(uint32_t(t.b) << 2 | uint32_t(t.g) << 13 | uint32_t(t.r) << 24 | (x & 7) << 21);
}
Bytes OddMasksRead(uint32_t x, uint32_t y)
{
    const Texel t = Source(x, y);
    const auto narrow = [](uint32_t value, uint32_t max) { return uint8_t((value * 255 + max / 2) / max); };
    return {narrow(uint32_t(t.b) << 2, 1023), narrow(uint32_t(t.g) << 3, 2047), narrow(uint32_t(t.r) << 3 | (x & 7), 2047),
            0xFF};
}

// A picture as a file's writer takes it, with its options, and as loaded.
template <class Options>
struct Case {
    std::string name;
    Options o;
    Bytes stored;
    uint32_t format;
    Bytes texels;
};

std::vector<Kind> TgaKinds()
{
    // A colour map of 8 entries from index 5, in each entry size.
    const auto entry = [](uint32_t i) {
        return Texel{uint8_t(i * 31), uint8_t(255 - i * 20), uint8_t(i * 7 + 100), uint8_t(i * 36)};
    };
    const auto stored = [](const Texel& t, uint32_t bits) {
        return bits == 24 ? Bytes{t.b, t.g, t.r} : bits == 32 ? Bytes{t.b, t.g, t.r, t.a} : U16(Pack1555(t, true));
    };
    Bytes map24, map32, map16;
    for (uint32_t i = 0; i < 8; ++i)
        for (auto [map, bits] : std::initializer_list<std::pair<Bytes*, uint32_t>>{{&map24, 24}, {&map32, 32}, {&map16, 16}})
            Append(*map, stored(entry(i), bits));
    const auto mapped = [&](uint32_t bits) {
        return Each([&](uint32_t x, uint32_t y) {
            const Bytes t = stored(entry(Index(x, y, 3)), bits);
            return bits == 24 ? Bytes{t[0], t[1], t[2], 0xFF} : t;
        });
    };
    const Bytes index = Each([](uint32_t x, uint32_t y) { return Bytes{uint8_t(Index(x, y, 3) + 5)}; });
    const Case<TgaOptions> cases[] = {
        {"32", {.bits = 32, .alphaBits = 8}, Each(Bgra), kFormatA8R8G8B8, Each(Bgra)},
        {"24 top-down", {.bits = 24, .topDown = true}, Each(Bgr), kFormatX8R8G8B8, Each(Bgrx)},
        {"16 right-to-left", {.bits = 16, .rightToLeft = true, .alphaBits = 1}, Each(A1555), kFormatA1R5G5B5, Each(A1555)},
        {"15", {.bits = 15}, Each(X1555), kFormatX1R5G5B5, Each(X1555)},
        {"16 without alpha", {.bits = 16}, Each(X1555), kFormatX1R5G5B5, Each(X1555)},
        {"grey", {.bits = 8, .type = 3, .idLength = 3}, Each(Grey), kFormatL8, Each(Grey)},
        {"grey and alpha", {.bits = 16, .type = 3, .idLength = 3, .alphaBits = 8}, Each(GreyAlpha), kFormatA8L8,
         Each(GreyAlpha)},
        {"colour-mapped 24", {.bits = 8, .type = 1, .mapBits = 24, .mapFirst = 5, .map = map24}, index, kFormatX8R8G8B8,
         mapped(24)},
        {"colour-mapped 32",
         {.bits = 8, .type = 1, .topDown = true, .alphaBits = 8, .mapBits = 32, .mapFirst = 5, .map = map32}, index,
         kFormatA8R8G8B8, mapped(32)},
        {"colour-mapped 16",
         {.bits = 8, .type = 1, .topDown = true, .alphaBits = 1, .mapBits = 16, .mapFirst = 5, .map = map16}, index,
         kFormatA1R5G5B5, mapped(16)},
    };
    std::vector<Kind> kinds;
    for (bool runLength : {false, true})
        for (Case c : cases) {
            c.o.runLength = runLength;
            kinds.push_back({"TGA " + c.name + (runLength ? " run-length" : ""),
                             image_files::WriteTga(kWidth, kHeight, c.stored, c.o), ImageFileType::Tga, c.format,
                             c.texels});
        }
    return kinds;
}

std::vector<Kind> BmpKinds()
{
    std::vector<Case<BmpOptions>> cases = {
        {"24", {.bits = 24}, Each(Bgr), kFormatX8R8G8B8, Each(Bgrx)},
        {"24, core header", {.bits = 24, .infoSize = 12}, Each(Bgr), kFormatX8R8G8B8, Each(Bgrx)},
        {"32 plain", {.bits = 32}, Each(Bgra), kFormatX8R8G8B8, Each(Bgra)},
        {"32 with alpha mask",
         {.bits = 32, .topDown = true, .infoSize = 124, .compression = 3, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
         Each(Bgra), kFormatA8R8G8B8, Each(Bgra)},
        {"32 in 2:10:10:10",
         {.bits = 32, .infoSize = 56, .compression = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}}, Each(A2R10),
         kFormatA2R10G10B10, Each(A2R10)},
        {"32 with masks of no format", {.bits = 32, .compression = 3, .masks = {0xFFE00000, 0x1FFC00, 0x3FF, 0}},
         Each(OddMasks), kFormatX8R8G8B8, Each(OddMasksRead)},
        {"16 plain", {.bits = 16}, Each(X1555), kFormatX1R5G5B5, Each(X1555)},
        {"16 in 5:6:5", {.bits = 16, .compression = 3, .masks = {0xF800, 0x7E0, 0x1F, 0}}, Each(R565), kFormatR5G6B5,
         Each(R565)},
        {"16 in 1:5:5:5", {.bits = 16, .infoSize = 56, .compression = 3, .masks = {0x7C00, 0x3E0, 0x1F, 0x8000}},
         Each(A1555), kFormatA1R5G5B5, Each(A1555)},
        {"16 in 4:4:4:4", {.bits = 16, .compression = 6, .masks = {0xF00, 0xF0, 0xF, 0xF000}}, Each(A4444),
         kFormatA4R4G4B4, Each(A4444)},
    };
    // Colour tables of 1, 4 and 8 bits in each header, plain or run-length;
    // an 8-bit table short where the header can say so.
    for (auto [bits, compression] : std::initializer_list<std::pair<uint32_t, uint32_t>>{{1, 0}, {4, 0}, {8, 0}, {8, 1}, {4, 2}})
        for (uint32_t infoSize : {12u, 40u, 124u}) {
            if (compression != 0 && infoSize == 12)
                continue;
            BmpOptions o{.bits = bits, .topDown = compression == 0 && infoSize == 124, .infoSize = infoSize,
                         .compression = compression, .skipWithDelta = compression != 0};
            const uint32_t entries = bits == 8 && infoSize != 12 ? 40 : 1u << bits;
            o.colours = entries < (1u << bits) ? entries : 0;
            std::vector<Bytes> table;
            for (uint32_t i = 0; i < entries; ++i) {
                const uint8_t b = uint8_t(i * 97), g = uint8_t(200 - i * 3), r = uint8_t(i * 13 + 1);
                table.push_back({b, g, r, 0xFF});
                o.table.insert(o.table.end(), {b, g, r});
                if (infoSize != 12)
                    o.table.push_back(0x7F); // reserved, not alpha
            }
            const uint32_t indexBits = bits == 8 ? 5 : bits;
            // Runs that skip texels leave them at index 0: the first row in
            // the file (the bottom one) after its first texel.
            cases.push_back({std::to_string(bits) + "-bit table, compression " + std::to_string(compression) +
                                 ", header " + std::to_string(infoSize),
                             o, Each([&](uint32_t x, uint32_t y) { return Bytes{Index(x, y, indexBits)}; }),
                             kFormatX8R8G8B8, Each([&](uint32_t x, uint32_t y) {
                                 return table[o.skipWithDelta && y == 0 && x > 0 ? 0 : Index(x, y, indexBits)];
                             })});
        }
    std::vector<Kind> kinds;
    for (bool dib : {false, true})
        for (Case c : cases) {
            c.o.dib = dib;
            kinds.push_back({(dib ? "DIB " : "BMP ") + c.name, image_files::WriteBmp(kWidth, kHeight, c.stored, c.o),
                             dib ? ImageFileType::Dib : ImageFileType::Bmp, c.format, c.texels});
        }
    return kinds;
}

std::vector<Kind> PngKinds()
{
    using Samples = std::vector<uint16_t>;
    std::vector<Kind> kinds;
    const auto add = [&](const std::string& name, const Samples& samples, const PngOptions& o, uint32_t format,
                         const Bytes& texels) {
        kinds.push_back({"PNG " + name + (o.interlaced ? " interlaced" : ""),
                         image_files::WritePng(kWidth, kHeight, samples, o), ImageFileType::Png, format, texels});
    };
    for (bool interlaced : {false, true}) {
        for (uint32_t depth : {1u, 2u, 4u, 8u, 16u}) {
            const uint32_t max = (1u << depth) - 1;
            const auto value = [max](uint32_t x, uint32_t y) { return (uint32_t(Source(x, y).g) * 257 + x * 4099) & max; };
            add("grey " + std::to_string(depth), Each([&](uint32_t x, uint32_t y) { return Samples{uint16_t(value(x, y))}; }),
                {0, depth, interlaced, {}, {}}, depth == 16 ? kFormatL16 : kFormatL8,
                Each([&](uint32_t x, uint32_t y) {
                    return depth == 16 ? U16(value(x, y)) : Bytes{uint8_t(value(x, y) * (255 / max))};
                }));
        }
        // Grey with one transparent value.
        add("grey with a transparent value", Each([](uint32_t x, uint32_t y) { return Samples{Source(x, y).g}; }),
            {0, 8, interlaced, {}, {0, 20}}, kFormatA8L8,
            Each([](uint32_t x, uint32_t y) { return Bytes{Source(x, y).g, uint8_t(Source(x, y).g == 20 ? 0 : 255)}; }));
        for (uint32_t type : {2u, 4u, 6u})
            for (uint32_t depth : {8u, 16u})
                for (bool keyed : {false, true}) {
                    if (keyed && type != 2)
                        continue;
                    const uint16_t wide = depth == 16 ? 257 : 1;
                    // The channels as stored; at 16 bits red takes x in its low byte.
                    const auto rgba = [&](uint32_t x, uint32_t y) {
                        const Texel t = Source(x, y);
                        return std::array<uint16_t, 4>{uint16_t(t.r * wide + (depth == 16 ? x : 0)),
                                                       uint16_t(t.g * wide), uint16_t(t.b * wide), uint16_t(t.a * wide)};
                    };
                    const auto samples = Each([&](uint32_t x, uint32_t y) {
                        const auto [r, g, b, a] = rgba(x, y);
                        return type == 2 ? Samples{r, g, b} : type == 4 ? Samples{g, a} : Samples{r, g, b, a};
                    });
                    const auto texels = Each([&](uint32_t x, uint32_t y) {
                        auto [r, g, b, a] = rgba(x, y);
                        // The transparent colour: the flat rows' texel.
                        if (type == 2)
                            a = keyed && r == 30 * wide && g == 20 * wide && b == 10 * wide ? 0 : 255 * wide;
                        if (type == 4)
                            r = b = g;
                        if (depth == 8)
                            return type == 4 ? Bytes{uint8_t(g), uint8_t(a)}
                                             : Bytes{uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(a)};
                        Bytes out;
                        for (uint16_t v : {r, g, b, a})
                            out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
                        return out;
                    });
                    PngOptions o{type, depth, interlaced, {}, {}};
                    if (keyed)
                        for (uint16_t v : {30, 20, 10})
                            o.transparency.insert(o.transparency.end(), {uint8_t(v * wide >> 8), uint8_t(v * wide)});
                    add("type " + std::to_string(type) + " depth " + std::to_string(depth) +
                            (keyed ? " with a transparent colour" : ""),
                        samples, o,
                        type == 4 && depth == 8 ? kFormatA8L8
                        : depth == 16           ? kFormatA16B16G16R16
                        : type == 2 && !keyed   ? kFormatX8R8G8B8
                                                : kFormatA8R8G8B8,
                        texels);
                }
        // Colour tables of every depth, with and without transparent entries;
        // entries past the transparency chunk are opaque.
        for (uint32_t depth : {1u, 2u, 4u, 8u})
            for (bool transparent : {false, true}) {
                const uint32_t entries = depth == 8 ? 20 : 1u << depth;
                PngOptions o{3, depth, interlaced, {}, {}};
                std::vector<Bytes> table;
                for (uint32_t i = 0; i < entries; ++i) {
                    const uint8_t r = uint8_t(i * 41), g = uint8_t(255 - i * 9), b = uint8_t(i * 5 + 3);
                    const uint8_t a = transparent && i < entries / 2 ? uint8_t(i * 60) : 255;
                    o.palette.insert(o.palette.end(), {r, g, b});
                    if (transparent && i < entries / 2)
                        o.transparency.push_back(a);
                    table.push_back({b, g, r, a});
                }
                const auto index = [&](uint32_t x, uint32_t y) { return uint16_t((x + y * 3) % entries); };
                add("colour table " + std::to_string(depth) + (transparent ? " transparent" : ""),
                    Each([&](uint32_t x, uint32_t y) { return Samples{index(x, y)}; }), o,
                    transparent ? kFormatA8R8G8B8 : kFormatX8R8G8B8,
                    Each([&](uint32_t x, uint32_t y) { return table[index(x, y)]; }));
            }
    }
    return kinds;
}

std::vector<Kind> NetpbmKinds()
{
    using Samples = std::vector<uint32_t>;
    std::vector<Kind> kinds;
    const auto add = [&](const std::string& name, char kind, uint32_t max, const Samples& samples, uint32_t format,
                         const Bytes& texels) {
        kinds.push_back({name + " P" + kind + (max > 1 ? " of " + std::to_string(max) : ""),
                         image_files::WritePnm(kind, kWidth, kHeight, max, samples, "made by a test"), ImageFileType::Pnm,
                         format, texels});
    };
    const auto scaled = [](uint32_t v, uint32_t max, uint32_t top) { return uint32_t((uint64_t(v) * top + max / 2) / max); };
    for (char kind : {'6', '3'})
        for (uint32_t max : {255u, 100u, 1000u, 65535u}) {
            const auto rgb = [max](uint32_t x, uint32_t y) {
                const Texel t = Source(x, y);
                return Samples{t.r * max / 255, t.g * max / 255, t.b * max / 255};
            };
            add("PPM", kind, max, Each(rgb), max > 255 ? kFormatA16B16G16R16 : kFormatX8R8G8B8,
                Each([&](uint32_t x, uint32_t y) {
                    const Samples s = rgb(x, y);
                    if (max <= 255)
                        return Bytes{uint8_t(scaled(s[2], max, 255)), uint8_t(scaled(s[1], max, 255)),
                                     uint8_t(scaled(s[0], max, 255)), 0xFF};
                    Bytes out;
                    for (uint32_t v : s)
                        Append(out, U16(scaled(v, max, 65535)));
                    out.insert(out.end(), {0xFF, 0xFF});
                    return out;
                }));
        }
    for (char kind : {'5', '2'})
        for (uint32_t max : {255u, 65535u}) {
            const auto grey = [max](uint32_t x, uint32_t y) { return max == 255 ? Source(x, y).g : Source(x, y).g * 257u + x; };
            add("PGM", kind, max, Each([&](uint32_t x, uint32_t y) { return Samples{grey(x, y)}; }),
                max > 255 ? kFormatL16 : kFormatL8,
                Each([&](uint32_t x, uint32_t y) { return max > 255 ? U16(grey(x, y)) : Bytes{uint8_t(grey(x, y))}; }));
        }
    for (char kind : {'4', '1'})
        add("PBM", kind, 1, Each([](uint32_t x, uint32_t y) { return Samples{(x + y) % 3 == 0}; }), kFormatL8,
            Each([](uint32_t x, uint32_t y) { return Bytes{uint8_t((x + y) % 3 == 0 ? 0 : 255)}; }));
    for (uint32_t channels : {1u, 3u})
        for (bool little : {false, true}) {
            const auto value = [](uint32_t x, uint32_t y, uint32_t c) {
                return float(x) * 0.37f - float(y * y) * 1.5e3f + float(c) * 1e-7f;
            };
            const auto values = Each([&](uint32_t x, uint32_t y) {
                std::vector<float> out;
                for (uint32_t c = 0; c < channels; ++c)
                    out.push_back(value(x, y, c));
                return out;
            });
            const auto texels = Each([&](uint32_t x, uint32_t y) {
                Bytes out;
                for (uint32_t c = 0; c < (channels == 3 ? 4u : 1u); ++c)
                    Append(out, U32(std::bit_cast<uint32_t>(c < channels ? value(x, y, c) : 1.0f)));
                return out;
            });
            kinds.push_back({"PFM " + std::to_string(channels) + (little ? " little-endian" : " big-endian"),
                             image_files::WritePfm(kWidth, kHeight, channels, values, little), ImageFileType::Pfm,
                             channels == 3 ? kFormatA32B32G32R32F : kFormatR32F, texels});
        }
    return kinds;
}

std::vector<Kind> HdrKinds()
{
    const uint32_t width = 19; // run-length rows need 8 texels at least
    // Texel (0, 1) has exponent 0: black whatever its mantissas.
    const auto rgbe = [](uint32_t x, uint32_t y) {
        const bool flat = y % 2 == 0 && x > 3;
        return Bytes{uint8_t(flat ? 200 : x * 13), uint8_t(flat ? 100 : y * 31), uint8_t(flat ? 0 : 255 - x),
                     uint8_t(x == 0 && y == 1 ? 0 : flat ? 128 : 120 + (x + y) % 16)};
    };
    const Bytes texels = Each(
        [&](uint32_t x, uint32_t y) {
            const Bytes t = rgbe(x, y);
            const float scale = t[3] ? std::ldexp(1.0f, int(t[3]) - 136) : 0.0f;
            Bytes out;
            for (float v : {t[0] * scale, t[1] * scale, t[2] * scale, 1.0f})
                Append(out, U32(std::bit_cast<uint32_t>(v)));
            return out;
        },
        width);
    std::vector<Kind> kinds;
    for (bool runLength : {false, true})
        kinds.push_back({runLength ? "HDR run-length" : "HDR flat",
                         image_files::WriteHdr(width, kHeight, Each(rgbe, width), runLength), ImageFileType::Hdr,
                         kFormatA32B32G32R32F, texels});
    return kinds;
}

Bytes LoadedTexels(Device* device, const Bytes& file, uint32_t& format)
{
    TextureFileParams params;
    params.width = params.height = kImageDefaultNonPow2;
    params.levels = kImageFromFile;
    params.pool = kPoolSystemMem;
    params.filter = params.mipFilter = kImageFilterNone;
    Texture* texture = nullptr;
    EXPECT_EQ(CreateTextureFromFileInMemory(device, file.data(), file.size(), params, &texture), kOk);
    if (!texture)
        return {};
    format = texture->Format();
    const std::span<uint8_t> bytes = platform::testing::TextureBytes(*texture);
    Bytes out(bytes.begin(), bytes.end());
    texture->Release();
    return out;
}

TEST(ImageFileKinds, EveryKindArrivesWithTheFilesTexelsInThePlatformsFormat)
{
    gfx_test::TestDevice device;
    std::vector<Kind> kinds;
    for (auto make : {TgaKinds, BmpKinds, PngKinds, NetpbmKinds, HdrKinds})
        for (Kind& kind : make())
            kinds.push_back(std::move(kind));
    EXPECT_GT(kinds.size(), 100u);
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        DecodedImage image;
        const DecodeResult result = DecodeImage(kind.file.data(), kind.file.size(), image);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(image.fileType, kind.type);
        EXPECT_EQ(image.format, kind.format);
        EXPECT_EQ(image.levels, 1u);
        EXPECT_EQ(image.height, kHeight);
        EXPECT_TRUE(Bytes(image.bytes.begin(), image.bytes.end()) == kind.texels);
        uint32_t format = 0;
        EXPECT_TRUE(LoadedTexels(device.device, kind.file, format) == kind.texels);
        EXPECT_EQ(format, kind.format);
    }
}

TEST(ImageFileKinds, BaselineAndProgressiveJpegDecodeAlikeAndCloseToThePicture)
{
    for (uint32_t channels : {1u, 3u}) {
        SCOPED_TRACE(channels);
        Bytes samples;
        for (uint32_t y = 0; y < 20; ++y)
            for (uint32_t x = 0; x < 27; ++x) {
                const uint8_t smooth[3] = {uint8_t(x * 6 + y), uint8_t(100 + y * 4), uint8_t(200 - x * 3 - y)};
                samples.insert(samples.end(), smooth, smooth + channels);
            }
        DecodedImage baseline, progressive;
        const Bytes first = image_files::WriteJpeg(27, 20, channels, samples, false);
        const Bytes second = image_files::WriteJpeg(27, 20, channels, samples, true);
        ASSERT_TRUE(DecodeImage(first.data(), first.size(), baseline).Ok());
        const DecodeResult result = DecodeImage(second.data(), second.size(), progressive);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(baseline.fileType, ImageFileType::Jpg);
        EXPECT_EQ(baseline.format, channels == 1 ? kFormatL8 : kFormatX8R8G8B8);
        EXPECT_EQ(progressive.format, baseline.format);
        ASSERT_EQ(progressive.width, 27u);
        ASSERT_EQ(progressive.height, 20u);
        EXPECT_TRUE(baseline.bytes == progressive.bytes);
        // Quality 100: every texel within a few steps of the picture, alpha opaque.
        const uint32_t texelBytes = channels == 1 ? 1 : 4;
        for (size_t t = 0; t < 27 * 20; ++t) {
            for (uint32_t c = 0; c < channels; ++c) {
                ASSERT_NEAR(progressive.bytes[t * texelBytes + (channels == 1 ? 0 : 2 - c)], samples[t * channels + c], 4)
                    << t;
            }
            if (channels == 3) {
                ASSERT_EQ(progressive.bytes[t * 4 + 3], 0xFF);
            }
        }
    }
}

} // namespace
