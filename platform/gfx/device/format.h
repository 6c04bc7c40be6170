#pragma once
// Pixel, depth and index formats of the graphics layer. The numbers are the ones
// the engine stores, prints and compares (render-texture calls in data and code
// pass them as plain integers), so they are kept exactly.
#include <cstdint>

namespace gfx {

enum Format : uint32_t {
    kFormatUnknown = 0,
    kFormatR8G8B8 = 20,
    kFormatA8R8G8B8 = 21,
    kFormatX8R8G8B8 = 22,
    kFormatR5G6B5 = 23,
    kFormatX1R5G5B5 = 24,
    kFormatA1R5G5B5 = 25,
    kFormatA4R4G4B4 = 26,
    kFormatA8 = 28,
    kFormatA2B10G10R10 = 31,
    kFormatA8B8G8R8 = 32,
    kFormatX8B8G8R8 = 33,
    kFormatG16R16 = 34,
    kFormatA2R10G10B10 = 35,
    kFormatA16B16G16R16 = 36,
    kFormatL8 = 50,
    kFormatA8L8 = 51,
    kFormatV8U8 = 60,
    kFormatQ8W8V8U8 = 63,
    kFormatV16U16 = 64,
    kFormatD32 = 71,
    kFormatD15S1 = 73,
    kFormatD24S8 = 75,
    kFormatD24X8 = 77,
    kFormatD24X4S4 = 79,
    kFormatD16 = 80,
    kFormatL16 = 81,
    kFormatIndex16 = 101,
    kFormatIndex32 = 102,
    kFormatR16F = 111,
    kFormatG16R16F = 112,
    kFormatA16B16G16R16F = 113,
    kFormatR32F = 114,
    kFormatG32R32F = 115,
    kFormatA32B32G32R32F = 116,
    kFormatDXT1 = 0x31545844u, // "DXT1" as a little-endian four-character code
    kFormatDXT2 = 0x32545844u,
    kFormatDXT3 = 0x33545844u,
    kFormatDXT4 = 0x34545844u,
    kFormatDXT5 = 0x35545844u,
    kFormatFromFile = 0xFFFFFFFDu, // take the format the file holds
};

inline constexpr bool IsBlockCompressed(uint32_t format)
{
    return format == kFormatDXT1 || format == kFormatDXT2 || format == kFormatDXT3 || format == kFormatDXT4 ||
           format == kFormatDXT5;
}

// A block format's side as the device takes one: whole blocks, or less than
// one block (the smallest levels of every chain are such); a larger side that
// is not whole blocks grows to them.
inline constexpr uint32_t BlockSide(uint32_t side)
{
    return side < 4 ? side : (side + 3) / 4 * 4;
}

inline constexpr bool IsDepthFormat(uint32_t format)
{
    return format == kFormatD32 || format == kFormatD15S1 || format == kFormatD24S8 || format == kFormatD24X8 ||
           format == kFormatD24X4S4 || format == kFormatD16;
}

// Bytes of one texel of an uncompressed format, 0 for compressed or unknown ones.
inline constexpr uint32_t BytesPerTexel(uint32_t format)
{
    switch (format) {
    case kFormatA8: case kFormatL8: return 1;
    case kFormatR5G6B5: case kFormatX1R5G5B5: case kFormatA1R5G5B5: case kFormatA4R4G4B4: case kFormatA8L8:
    case kFormatV8U8: case kFormatD16: case kFormatD15S1: case kFormatL16: case kFormatR16F: case kFormatIndex16:
        return 2;
    case kFormatR8G8B8: return 3;
    case kFormatA8R8G8B8: case kFormatX8R8G8B8: case kFormatA2B10G10R10: case kFormatA8B8G8R8:
    case kFormatX8B8G8R8: case kFormatG16R16: case kFormatA2R10G10B10: case kFormatQ8W8V8U8: case kFormatV16U16:
    case kFormatD32: case kFormatD24S8: case kFormatD24X8: case kFormatD24X4S4: case kFormatG16R16F:
    case kFormatR32F: case kFormatIndex32:
        return 4;
    case kFormatA16B16G16R16: case kFormatA16B16G16R16F: case kFormatG32R32F: return 8;
    case kFormatA32B32G32R32F: return 16;
    default: return 0;
    }
}

// Bytes of one row of `width` texels (of 4-texel block rows for compressed formats).
inline constexpr uint32_t RowPitch(uint32_t format, uint32_t width)
{
    if (IsBlockCompressed(format)) {
        const uint32_t blocks = (width + 3) / 4;
        return blocks * (format == kFormatDXT1 ? 8u : 16u);
    }
    return width * BytesPerTexel(format);
}

// Bytes of one whole 2D level of `width` x `height`.
inline constexpr uint64_t LevelSize(uint32_t format, uint32_t width, uint32_t height)
{
    const uint64_t rows = IsBlockCompressed(format) ? (height + 3) / 4 : height;
    return rows * RowPitch(format, width);
}

// Texels along one side of mip level `level` of a side of `size` texels.
inline constexpr uint32_t MipExtent(uint32_t size, uint32_t level)
{
    if (level >= 32)
        return 1;
    const uint32_t extent = size >> level;
    return extent == 0 ? 1 : extent;
}

// Levels of a full mip chain, down to 1 x 1 (x 1); 0 for an empty size.
inline constexpr uint32_t FullMipLevels(uint32_t width, uint32_t height, uint32_t depth = 1)
{
    uint32_t largest = width > height ? width : height;
    largest = largest > depth ? largest : depth;
    uint32_t levels = 0;
    while (largest != 0) {
        ++levels;
        largest >>= 1;
    }
    return levels;
}

// Bytes of levels 0 .. levels-1 of a 2D texture stored one after another, each
// level sized by its own width and height (a wide texture has wide levels).
inline constexpr uint64_t MipChainSize(uint32_t format, uint32_t width, uint32_t height, uint32_t levels)
{
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels; ++level)
        total += LevelSize(format, MipExtent(width, level), MipExtent(height, level));
    return total;
}

} // namespace gfx

namespace gfx {

// Not a texel format: the four-character code a format check asks about to
// learn whether the card does alpha-to-coverage ("ATOC").
inline constexpr uint32_t kFourCCAlphaToCoverage = 0x434F5441u;

} // namespace gfx
