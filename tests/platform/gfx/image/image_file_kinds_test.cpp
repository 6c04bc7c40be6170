// Every kind of texture file the platform's loader reads, written here the
// way tools write them, decoded and loaded into a texture: the texels must be
// the file's, in the format the platform gives that kind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
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

using gfx::ImageFileType;
using image_files::BmpOptions;
using image_files::PngOptions;
using image_files::TgaOptions;

constexpr uint32_t kWidth = 13, kHeight = 7; // odd, and rows of 1- and 4-bit indices end mid-byte

struct Kind {
    std::string name;
    std::vector<uint8_t> file;
    ImageFileType type;
    uint32_t format;
    std::vector<uint8_t> texels; // level 0 as the texture holds it
};

// Test picture channels, 8 bits each.
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
uint8_t Index(uint32_t x, uint32_t y, uint32_t bits)
{
    const uint32_t count = 1u << bits;
    return uint8_t(((x / 3) + y * 2) % count);
}

template <class F>
std::vector<uint8_t> Each(F texel)
{
    std::vector<uint8_t> out;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            for (uint8_t byte : texel(x, y))
                out.push_back(byte);
    return out;
}

std::vector<uint8_t> U16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

uint16_t Pack1555(const Texel& t, bool alpha)
{
    return uint16_t((alpha && t.a >= 128 ? 0x8000 : 0) | (t.r >> 3) << 10 | (t.g >> 3) << 5 | t.b >> 3);
}

std::vector<Kind> TgaKinds()
{
    std::vector<Kind> kinds;
    const auto bgra = [](uint32_t x, uint32_t y) {
        const Texel t = Source(x, y);
        return std::vector<uint8_t>{t.b, t.g, t.r, t.a};
    };
    const auto bgrx = [](uint32_t x, uint32_t y) {
        const Texel t = Source(x, y);
        return std::vector<uint8_t>{t.b, t.g, t.r, 0xFF};
    };
    const auto bgr = [](uint32_t x, uint32_t y) {
        const Texel t = Source(x, y);
        return std::vector<uint8_t>{t.b, t.g, t.r};
    };
    const auto grey = [](uint32_t x, uint32_t y) { return std::vector<uint8_t>{Source(x, y).g}; };
    const auto greyAlpha = [](uint32_t x, uint32_t y) { return std::vector<uint8_t>{Source(x, y).g, Source(x, y).a}; };
    const auto argb1555 = [](uint32_t x, uint32_t y) { return U16(Pack1555(Source(x, y), true)); };
    const auto xrgb1555 = [](uint32_t x, uint32_t y) { return U16(Pack1555(Source(x, y), false)); };
    const auto index = [](uint32_t x, uint32_t y) { return std::vector<uint8_t>{uint8_t(Index(x, y, 3) + 5)}; };

    // A colour map of 8 entries from index 5, in each entry size.
    std::vector<uint8_t> map24, map32, map16;
    std::vector<std::vector<uint8_t>> entries24, entries32, entries16;
    for (uint32_t i = 0; i < 8; ++i) {
        const Texel t{uint8_t(i * 31), uint8_t(255 - i * 20), uint8_t(i * 7 + 100), uint8_t(i * 36)};
        entries24.push_back({t.b, t.g, t.r, 0xFF});
        entries32.push_back({t.b, t.g, t.r, t.a});
        entries16.push_back(U16(Pack1555(t, true)));
        map24.insert(map24.end(), {t.b, t.g, t.r});
        map32.insert(map32.end(), {t.b, t.g, t.r, t.a});
        const std::vector<uint8_t> e16 = U16(Pack1555(t, true));
        map16.insert(map16.end(), e16.begin(), e16.end());
    }
    const auto mapped = [](const std::vector<std::vector<uint8_t>>& entries) {
        return Each([&](uint32_t x, uint32_t y) { return entries[Index(x, y, 3)]; });
    };

    for (bool runLength : {false, true}) {
        const std::string how = runLength ? " run-length" : "";
        TgaOptions o;
        o.runLength = runLength;
        o.bits = 32, o.alphaBits = 8;
        kinds.push_back({"TGA 32" + how, WriteTga(kWidth, kHeight, Each(bgra), o), ImageFileType::Tga,
                         gfx::kFormatA8R8G8B8, Each(bgra)});
        o.bits = 24, o.alphaBits = 0, o.topDown = true;
        kinds.push_back({"TGA 24 top-down" + how, WriteTga(kWidth, kHeight, Each(bgr), o), ImageFileType::Tga,
                         gfx::kFormatX8R8G8B8, Each(bgrx)});
        o = {};
        o.runLength = runLength;
        o.bits = 16, o.alphaBits = 1, o.rightToLeft = true;
        kinds.push_back({"TGA 16 right-to-left" + how, WriteTga(kWidth, kHeight, Each(argb1555), o),
                         ImageFileType::Tga, gfx::kFormatA1R5G5B5, Each(argb1555)});
        o.bits = 15, o.alphaBits = 0, o.rightToLeft = false;
        kinds.push_back({"TGA 15" + how, WriteTga(kWidth, kHeight, Each(xrgb1555), o), ImageFileType::Tga,
                         gfx::kFormatX1R5G5B5, Each(xrgb1555)});
        o.bits = 16, o.alphaBits = 0;
        kinds.push_back({"TGA 16 without alpha" + how, WriteTga(kWidth, kHeight, Each(xrgb1555), o),
                         ImageFileType::Tga, gfx::kFormatX1R5G5B5, Each(xrgb1555)});
        o = {};
        o.runLength = runLength;
        o.type = 3, o.bits = 8, o.idLength = 3;
        kinds.push_back({"TGA grey" + how, WriteTga(kWidth, kHeight, Each(grey), o), ImageFileType::Tga,
                         gfx::kFormatL8, Each(grey)});
        o.bits = 16, o.alphaBits = 8;
        kinds.push_back({"TGA grey and alpha" + how, WriteTga(kWidth, kHeight, Each(greyAlpha), o),
                         ImageFileType::Tga, gfx::kFormatA8L8, Each(greyAlpha)});
        o = {};
        o.runLength = runLength;
        o.type = 1, o.bits = 8, o.mapFirst = 5;
        o.mapBits = 24, o.map = map24;
        kinds.push_back({"TGA colour-mapped 24" + how, WriteTga(kWidth, kHeight, Each(index), o), ImageFileType::Tga,
                         gfx::kFormatX8R8G8B8, mapped(entries24)});
        o.mapBits = 32, o.map = map32, o.alphaBits = 8, o.topDown = true;
        kinds.push_back({"TGA colour-mapped 32" + how, WriteTga(kWidth, kHeight, Each(index), o), ImageFileType::Tga,
                         gfx::kFormatA8R8G8B8, mapped(entries32)});
        o.mapBits = 16, o.map = map16, o.alphaBits = 1;
        kinds.push_back({"TGA colour-mapped 16" + how, WriteTga(kWidth, kHeight, Each(index), o), ImageFileType::Tga,
                         gfx::kFormatA1R5G5B5, mapped(entries16)});
    }
    return kinds;
}

std::vector<Kind> BmpKinds()
{
    std::vector<Kind> kinds;
    for (bool dib : {false, true}) {
        const std::string file = dib ? "DIB " : "BMP ";
        const ImageFileType type = dib ? ImageFileType::Dib : ImageFileType::Bmp;
        // Colour tables of 1, 4 and 8 bits, the table's entries a gradient.
        for (uint32_t bits : {1u, 4u, 8u}) {
            for (uint32_t compression : {0u, 1u, 2u}) {
                if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4))
                    continue;
                for (uint32_t infoSize : {12u, 40u, 124u}) {
                    if (compression != 0 && infoSize == 12)
                        continue;
                    BmpOptions o;
                    o.bits = bits, o.infoSize = infoSize, o.compression = compression, o.dib = dib;
                    o.skipWithDelta = compression != 0;
                    o.topDown = compression == 0 && infoSize == 124;
                    // An 8-bit table may be short, where the header can say so.
                    const uint32_t entries = bits == 8 && infoSize != 12 ? 40 : 1u << bits;
                    o.colours = entries < (1u << bits) ? entries : 0;
                    std::vector<std::vector<uint8_t>> table;
                    for (uint32_t i = 0; i < entries; ++i) {
                        const uint8_t b = uint8_t(i * 97), g = uint8_t(200 - i * 3), r = uint8_t(i * 13 + 1);
                        table.push_back({b, g, r, 0xFF});
                        o.table.insert(o.table.end(), {b, g, r});
                        if (infoSize != 12)
                            o.table.push_back(0x7F); // reserved, not alpha
                    }
                    const uint32_t indexBits = bits == 8 ? 5 : bits;
                    const std::vector<uint8_t> indices =
                        Each([&](uint32_t x, uint32_t y) { return std::vector<uint8_t>{Index(x, y, indexBits)}; });
                    // Runs that skip texels leave them at index 0: the first row
                    // in the file (the bottom one) after its first texel.
                    const std::vector<uint8_t> expected = Each([&](uint32_t x, uint32_t y) {
                        const bool skipped = o.skipWithDelta && y == 0 && x > 0;
                        return table[skipped ? 0 : Index(x, y, indexBits)];
                    });
                    kinds.push_back({file + std::to_string(bits) + "-bit table, compression " +
                                         std::to_string(compression) + ", header " + std::to_string(infoSize),
                                     WriteBmp(kWidth, kHeight, indices, o), type, gfx::kFormatX8R8G8B8, expected});
                }
            }
        }
        const auto bgrx = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            return std::vector<uint8_t>{t.b, t.g, t.r, 0xFF};
        };
        const auto bgr = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            return std::vector<uint8_t>{t.b, t.g, t.r};
        };
        const auto bgra = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            return std::vector<uint8_t>{t.b, t.g, t.r, t.a};
        };
        BmpOptions o;
        o.dib = dib;
        o.bits = 24;
        kinds.push_back({file + "24", WriteBmp(kWidth, kHeight, Each(bgr), o), type, gfx::kFormatX8R8G8B8, Each(bgrx)});
        o.infoSize = 12;
        kinds.push_back({file + "24, core header", WriteBmp(kWidth, kHeight, Each(bgr), o), type,
                         gfx::kFormatX8R8G8B8, Each(bgrx)});
        o.infoSize = 40, o.bits = 32;
        kinds.push_back({file + "32 plain", WriteBmp(kWidth, kHeight, Each(bgra), o), type, gfx::kFormatX8R8G8B8,
                         Each(bgra)});
        o.infoSize = 124, o.compression = 3, o.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, o.topDown = true;
        kinds.push_back({file + "32 with alpha mask", WriteBmp(kWidth, kHeight, Each(bgra), o), type,
                         gfx::kFormatA8R8G8B8, Each(bgra)});
        const auto a2r10 = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            const uint32_t v = uint32_t(t.a >> 6) << 30 | uint32_t(t.r) << 22 | uint32_t(t.g) << 12 | uint32_t(t.b) << 2 | (x & 3);
            return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        };
        o.infoSize = 56, o.masks = {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, o.topDown = false;
        kinds.push_back({file + "32 in 2:10:10:10", WriteBmp(kWidth, kHeight, Each(a2r10), o), type,
                         gfx::kFormatA2R10G10B10, Each(a2r10)});
        // Masks of no format: 11 bits of red, 11 of green, 10 of blue, widened or narrowed to 8.
        const auto odd = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            const uint32_t v = uint32_t(t.b) << 2 | uint32_t(t.g) << 13 | uint32_t(t.r) << 24 | (x & 7) << 21;
            return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        };
        const auto oddExpected = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            const auto narrow = [](uint32_t value, uint32_t max) { return uint8_t((value * 255 + max / 2) / max); };
            return std::vector<uint8_t>{narrow(uint32_t(t.b) << 2, 1023), narrow(uint32_t(t.g) << 3, 2047),
                                        narrow(uint32_t(t.r) << 3 | (x & 7), 2047), 0xFF};
        };
        // Red takes bits 21 to 31, the texel's x & 7 in its three lowest.
        o.infoSize = 40, o.masks = {0xFFE00000, 0x1FFC00, 0x3FF, 0};
        kinds.push_back({file + "32 with masks of no format", WriteBmp(kWidth, kHeight, Each(odd), o), type,
                         gfx::kFormatX8R8G8B8, Each(oddExpected)});
        const auto x1555 = [](uint32_t x, uint32_t y) { return U16(Pack1555(Source(x, y), false)); };
        const auto a1555 = [](uint32_t x, uint32_t y) { return U16(Pack1555(Source(x, y), true)); };
        const auto r565 = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            return U16(uint16_t((t.r >> 3) << 11 | (t.g >> 2) << 5 | t.b >> 3));
        };
        const auto a4444 = [](uint32_t x, uint32_t y) {
            const Texel t = Source(x, y);
            return U16(uint16_t((t.a >> 4) << 12 | (t.r >> 4) << 8 | (t.g >> 4) << 4 | t.b >> 4));
        };
        o = {};
        o.dib = dib, o.bits = 16;
        kinds.push_back({file + "16 plain", WriteBmp(kWidth, kHeight, Each(x1555), o), type, gfx::kFormatX1R5G5B5,
                         Each(x1555)});
        o.compression = 3, o.masks = {0xF800, 0x7E0, 0x1F, 0};
        kinds.push_back({file + "16 in 5:6:5", WriteBmp(kWidth, kHeight, Each(r565), o), type, gfx::kFormatR5G6B5,
                         Each(r565)});
        o.infoSize = 56, o.masks = {0x7C00, 0x3E0, 0x1F, 0x8000};
        kinds.push_back({file + "16 in 1:5:5:5", WriteBmp(kWidth, kHeight, Each(a1555), o), type,
                         gfx::kFormatA1R5G5B5, Each(a1555)});
        o.infoSize = 40, o.compression = 6, o.masks = {0xF00, 0xF0, 0xF, 0xF000};
        kinds.push_back({file + "16 in 4:4:4:4", WriteBmp(kWidth, kHeight, Each(a4444), o), type,
                         gfx::kFormatA4R4G4B4, Each(a4444)});
    }
    return kinds;
}

std::vector<Kind> PngKinds()
{
    std::vector<Kind> kinds;
    for (bool interlaced : {false, true}) {
        const std::string how = interlaced ? " interlaced" : "";
        for (uint32_t depth : {1u, 2u, 4u, 8u, 16u}) {
            const uint32_t max = (1u << depth) - 1;
            std::vector<uint16_t> samples;
            std::vector<uint8_t> expected;
            for (uint32_t y = 0; y < kHeight; ++y) {
                for (uint32_t x = 0; x < kWidth; ++x) {
                    const uint32_t value = (uint32_t(Source(x, y).g) * 257 + x * 4099) & max;
                    samples.push_back(uint16_t(value));
                    if (depth == 16) {
                        expected.push_back(uint8_t(value));
                        expected.push_back(uint8_t(value >> 8));
                    } else {
                        expected.push_back(uint8_t(value * (255 / max)));
                    }
                }
            }
            kinds.push_back({"PNG grey " + std::to_string(depth) + how,
                             image_files::WritePng(kWidth, kHeight, samples, {0, depth, interlaced, {}, {}}),
                             ImageFileType::Png, depth == 16 ? gfx::kFormatL16 : gfx::kFormatL8, expected});
        }
        // Grey with one transparent value.
        {
            std::vector<uint16_t> samples;
            std::vector<uint8_t> expected;
            for (uint32_t y = 0; y < kHeight; ++y)
                for (uint32_t x = 0; x < kWidth; ++x) {
                    const uint8_t value = Source(x, y).g;
                    samples.push_back(value);
                    expected.insert(expected.end(), {value, uint8_t(value == 20 ? 0 : 255)});
                }
            kinds.push_back({"PNG grey with a transparent value" + how,
                             image_files::WritePng(kWidth, kHeight, samples, {0, 8, interlaced, {}, {0, 20}}),
                             ImageFileType::Png, gfx::kFormatA8L8, expected});
        }
        for (uint32_t type : {2u, 4u, 6u}) {
            for (uint32_t depth : {8u, 16u}) {
                for (bool transparentValue : {false, true}) {
                    if (transparentValue && type != 2)
                        continue;
                    std::vector<uint16_t> samples;
                    std::vector<uint8_t> expected;
                    for (uint32_t y = 0; y < kHeight; ++y) {
                        for (uint32_t x = 0; x < kWidth; ++x) {
                            const Texel t = Source(x, y);
                            const uint16_t wide = depth == 16 ? 257 : 1;
                            const uint16_t r = uint16_t(t.r * wide + (depth == 16 ? x : 0)), g = uint16_t(t.g * wide),
                                           b = uint16_t(t.b * wide), a = uint16_t(t.a * wide);
                            if (type == 2)
                                samples.insert(samples.end(), {r, g, b});
                            else if (type == 4)
                                samples.insert(samples.end(), {g, a});
                            else
                                samples.insert(samples.end(), {r, g, b, a});
                            // The transparent colour: the flat rows' texel.
                            const bool clear = transparentValue && r == 30 * wide && g == 20 * wide && b == 10 * wide;
                            const uint16_t opaque = depth == 16 ? 65535 : 255;
                            const uint16_t alpha = type == 2 ? (clear ? 0 : opaque) : a;
                            const uint16_t rr = type == 4 ? g : r, bb = type == 4 ? g : b;
                            if (depth == 16) {
                                for (uint16_t v : {rr, g, bb, alpha})
                                    expected.insert(expected.end(), {uint8_t(v), uint8_t(v >> 8)});
                            } else if (type == 4) {
                                expected.insert(expected.end(), {uint8_t(g), uint8_t(a)});
                            } else {
                                expected.insert(expected.end(), {uint8_t(bb), uint8_t(g), uint8_t(rr), uint8_t(alpha)});
                            }
                        }
                    }
                    PngOptions o{type, depth, interlaced, {}, {}};
                    if (transparentValue) {
                        const uint16_t wide = depth == 16 ? 257 : 1;
                        for (uint16_t v : {uint16_t(30 * wide), uint16_t(20 * wide), uint16_t(10 * wide)})
                            o.transparency.insert(o.transparency.end(), {uint8_t(v >> 8), uint8_t(v)});
                    }
                    uint32_t format = type == 4 && depth == 8 ? gfx::kFormatA8L8
                                      : depth == 16           ? gfx::kFormatA16B16G16R16
                                      : type == 2 && !transparentValue ? gfx::kFormatX8R8G8B8
                                                                       : gfx::kFormatA8R8G8B8;
                    kinds.push_back({"PNG type " + std::to_string(type) + " depth " + std::to_string(depth) +
                                         (transparentValue ? " with a transparent colour" : "") + how,
                                     image_files::WritePng(kWidth, kHeight, samples, o), ImageFileType::Png, format,
                                     expected});
                }
            }
        }
        // Colour tables of every depth, with and without transparent entries.
        for (uint32_t depth : {1u, 2u, 4u, 8u}) {
            for (bool transparent : {false, true}) {
                const uint32_t entries = depth == 8 ? 20 : 1u << depth;
                PngOptions o{3, depth, interlaced, {}, {}};
                std::vector<std::vector<uint8_t>> table;
                for (uint32_t i = 0; i < entries; ++i) {
                    const uint8_t r = uint8_t(i * 41), g = uint8_t(255 - i * 9), b = uint8_t(i * 5 + 3);
                    o.palette.insert(o.palette.end(), {r, g, b});
                    // Entries past the transparency chunk are opaque.
                    const uint8_t a = transparent && i < entries / 2 ? uint8_t(i * 60) : 255;
                    if (transparent && i < entries / 2)
                        o.transparency.push_back(a);
                    table.push_back({b, g, r, a});
                }
                std::vector<uint16_t> samples;
                std::vector<uint8_t> expected;
                for (uint32_t y = 0; y < kHeight; ++y)
                    for (uint32_t x = 0; x < kWidth; ++x) {
                        const uint8_t index = uint8_t((x + y * 3) % entries);
                        samples.push_back(index);
                        expected.insert(expected.end(), table[index].begin(), table[index].end());
                    }
                kinds.push_back({"PNG colour table " + std::to_string(depth) + (transparent ? " transparent" : "") + how,
                                 image_files::WritePng(kWidth, kHeight, samples, o), ImageFileType::Png,
                                 transparent ? gfx::kFormatA8R8G8B8 : gfx::kFormatX8R8G8B8, expected});
            }
        }
    }
    return kinds;
}

std::vector<Kind> NetpbmKinds()
{
    std::vector<Kind> kinds;
    const auto rgb = [](uint32_t max) {
        std::vector<uint32_t> samples;
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const Texel t = Source(x, y);
                for (uint32_t v : {uint32_t(t.r), uint32_t(t.g), uint32_t(t.b)})
                    samples.push_back(v * max / 255);
            }
        return samples;
    };
    const auto scaled = [](uint32_t v, uint32_t max, uint32_t top) { return (uint64_t(v) * top + max / 2) / max; };
    for (char kind : {'6', '3'}) {
        for (uint32_t max : {255u, 100u, 1000u, 65535u}) {
            const std::vector<uint32_t> samples = rgb(max);
            std::vector<uint8_t> expected;
            for (size_t i = 0; i < samples.size(); i += 3) {
                if (max > 255) {
                    for (size_t c = 0; c < 3; ++c) {
                        const uint32_t w = uint32_t(scaled(samples[i + c], max, 65535));
                        expected.insert(expected.end(), {uint8_t(w), uint8_t(w >> 8)});
                    }
                    expected.insert(expected.end(), {0xFF, 0xFF});
                } else {
                    for (size_t c : {2u, 1u, 0u})
                        expected.push_back(uint8_t(scaled(samples[i + c], max, 255)));
                    expected.push_back(0xFF);
                }
            }
            kinds.push_back({std::string("PPM P") + kind + " of " + std::to_string(max),
                             image_files::WritePnm(kind, kWidth, kHeight, max, samples, "made by a test"),
                             ImageFileType::Pnm, max > 255 ? gfx::kFormatA16B16G16R16 : gfx::kFormatX8R8G8B8,
                             expected});
        }
    }
    for (char kind : {'5', '2'}) {
        for (uint32_t max : {255u, 65535u}) {
            std::vector<uint32_t> samples;
            std::vector<uint8_t> expected;
            for (uint32_t y = 0; y < kHeight; ++y)
                for (uint32_t x = 0; x < kWidth; ++x) {
                    const uint32_t v = max == 255 ? Source(x, y).g : Source(x, y).g * 257u + x;
                    samples.push_back(v);
                    expected.push_back(uint8_t(v));
                    if (max > 255)
                        expected.push_back(uint8_t(v >> 8));
                }
            kinds.push_back({std::string("PGM P") + kind + " of " + std::to_string(max),
                             image_files::WritePnm(kind, kWidth, kHeight, max, samples), ImageFileType::Pnm,
                             max > 255 ? gfx::kFormatL16 : gfx::kFormatL8, expected});
        }
    }
    for (char kind : {'4', '1'}) {
        std::vector<uint32_t> samples;
        std::vector<uint8_t> expected;
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const uint32_t black = (x + y) % 3 == 0;
                samples.push_back(black);
                expected.push_back(black ? 0 : 255);
            }
        kinds.push_back({std::string("PBM P") + kind, image_files::WritePnm(kind, kWidth, kHeight, 1, samples),
                         ImageFileType::Pnm, gfx::kFormatL8, expected});
    }
    for (uint32_t channels : {1u, 3u}) {
        for (bool little : {false, true}) {
            std::vector<float> values;
            std::vector<uint8_t> expected;
            for (uint32_t y = 0; y < kHeight; ++y)
                for (uint32_t x = 0; x < kWidth; ++x) {
                    for (uint32_t c = 0; c < channels; ++c)
                        values.push_back(float(x) * 0.37f - float(y * y) * 1.5e3f + float(c) * 1e-7f);
                    for (uint32_t c = 0; c < (channels == 3 ? 4u : 1u); ++c) {
                        const float v = c < channels ? values[values.size() - channels + c] : 1.0f;
                        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&v);
                        expected.insert(expected.end(), bytes, bytes + 4);
                    }
                }
            kinds.push_back({"PFM " + std::to_string(channels) + (little ? " little-endian" : " big-endian"),
                             image_files::WritePfm(kWidth, kHeight, channels, values, little), ImageFileType::Pfm,
                             channels == 3 ? gfx::kFormatA32B32G32R32F : gfx::kFormatR32F, expected});
        }
    }
    return kinds;
}

std::vector<Kind> HdrKinds()
{
    std::vector<Kind> kinds;
    const uint32_t width = 19; // run-length rows need 8 texels at least
    std::vector<uint8_t> rgbe;
    std::vector<uint8_t> expected;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const bool flat = y % 2 == 0 && x > 3;
            const uint8_t e = flat ? 128 : uint8_t(120 + (x + y) % 16), r = uint8_t(flat ? 200 : x * 13),
                          g = uint8_t(flat ? 100 : y * 31), b = uint8_t(flat ? 0 : 255 - x);
            rgbe.insert(rgbe.end(), {r, g, b, uint8_t(x == 0 && y == 1 ? 0 : e)});
            for (uint8_t m : {r, g, b}) {
                const float v = x == 0 && y == 1 ? 0.0f : std::ldexp(float(m), int(e) - 136);
                const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&v);
                expected.insert(expected.end(), bytes, bytes + 4);
            }
            const float one = 1.0f;
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&one);
            expected.insert(expected.end(), bytes, bytes + 4);
        }
    for (bool runLength : {false, true})
        kinds.push_back({runLength ? "HDR run-length" : "HDR flat", image_files::WriteHdr(width, kHeight, rgbe, runLength),
                         ImageFileType::Hdr, gfx::kFormatA32B32G32R32F, expected});
    return kinds;
}

std::vector<Kind> AllKinds()
{
    std::vector<Kind> all;
    for (auto make : {TgaKinds, BmpKinds, PngKinds, NetpbmKinds, HdrKinds}) {
        std::vector<Kind> some = make();
        all.insert(all.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
    }
    return all;
}

std::vector<uint8_t> LoadedTexels(gfx::Device* device, const std::vector<uint8_t>& file, uint32_t& format)
{
    gfx::TextureFileParams params;
    params.width = params.height = gfx::kImageDefaultNonPow2;
    params.levels = gfx::kImageFromFile;
    params.pool = gfx::kPoolSystemMem;
    params.filter = params.mipFilter = gfx::kImageFilterNone;
    gfx::Texture* texture = nullptr;
    const gfx::Result result = gfx::CreateTextureFromFileInMemory(device, file.data(), file.size(), params, &texture);
    EXPECT_EQ(result, gfx::kOk);
    if (!texture)
        return {};
    format = texture->Format();
    const std::span<uint8_t> bytes = platform::testing::TextureBytes(*texture);
    std::vector<uint8_t> out(bytes.begin(), bytes.end());
    texture->Release();
    return out;
}

TEST(ImageFileKinds, EveryKindArrivesWithTheFilesTexelsInThePlatformsFormat)
{
    gfx_test::TestDevice device;
    const std::vector<Kind> kinds = AllKinds();
    EXPECT_GT(kinds.size(), 100u);
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        gfx::DecodedImage image;
        const gfx::DecodeResult result = gfx::DecodeImage(kind.file.data(), kind.file.size(), image);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(image.fileType, kind.type);
        EXPECT_EQ(image.format, kind.format);
        EXPECT_EQ(image.levels, 1u);
        EXPECT_EQ(image.height, kHeight);
        EXPECT_TRUE(std::vector<uint8_t>(image.bytes.begin(), image.bytes.end()) == kind.texels);

        uint32_t format = 0;
        EXPECT_TRUE(LoadedTexels(device.device, kind.file, format) == kind.texels);
        EXPECT_EQ(format, kind.format);
    }
}

TEST(ImageFileKinds, BaselineAndProgressiveJpegDecodeAlikeAndCloseToThePicture)
{
    for (uint32_t channels : {1u, 3u}) {
        SCOPED_TRACE(channels);
        std::vector<uint8_t> samples;
        for (uint32_t y = 0; y < 20; ++y)
            for (uint32_t x = 0; x < 27; ++x) {
                const uint8_t smooth[3] = {uint8_t(x * 6 + y), uint8_t(100 + y * 4), uint8_t(200 - x * 3 - y)};
                samples.insert(samples.end(), smooth, smooth + channels);
            }
        gfx::DecodedImage baseline, progressive;
        const std::vector<uint8_t> first = image_files::WriteJpeg(27, 20, channels, samples, false);
        const std::vector<uint8_t> second = image_files::WriteJpeg(27, 20, channels, samples, true);
        ASSERT_TRUE(gfx::DecodeImage(first.data(), first.size(), baseline).Ok());
        const gfx::DecodeResult result = gfx::DecodeImage(second.data(), second.size(), progressive);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(baseline.fileType, ImageFileType::Jpg);
        EXPECT_EQ(baseline.format, channels == 1 ? gfx::kFormatL8 : gfx::kFormatX8R8G8B8);
        EXPECT_EQ(progressive.format, baseline.format);
        ASSERT_EQ(progressive.width, 27u);
        ASSERT_EQ(progressive.height, 20u);
        EXPECT_TRUE(baseline.bytes == progressive.bytes);
        // A fine quantizer: every texel within a few steps of the picture.
        int worst = 0;
        const uint32_t texelBytes = channels == 1 ? 1 : 4;
        for (size_t t = 0; t < 27 * 20; ++t)
            for (uint32_t c = 0; c < channels; ++c) {
                const uint8_t got = progressive.bytes[t * texelBytes + (channels == 1 ? 0 : 2 - c)];
                worst = std::max(worst, std::abs(int(got) - int(samples[t * channels + c])));
            }
        EXPECT_LE(worst, 4);
        if (channels == 3) {
            for (size_t t = 0; t < 27 * 20; ++t)
                EXPECT_EQ(progressive.bytes[t * 4 + 3], 0xFF);
        }
    }
}

} // namespace
