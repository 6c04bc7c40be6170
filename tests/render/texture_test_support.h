#pragma once
// Shared by the texture tests: small TGA and BMP files and a device made the
// way the engine makes it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/bytes/byte_writer.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace texture_test {

// B, G, R, A texels of a width x height picture, rows from the top, that
// differ everywhere.
inline std::vector<uint8_t> Picture(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> texels(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* t = &texels[(size_t(y) * width + x) * 4];
            t[0] = static_cast<uint8_t>(x * 7 + 1);
            t[1] = static_cast<uint8_t>(y * 13 + 2);
            t[2] = static_cast<uint8_t>(x + y * 3 + 3);
            t[3] = static_cast<uint8_t>(0x80 + x);
        }
    return texels;
}

// Uncompressed 32-bit TGA, origin at the top left.
inline std::vector<uint8_t> Tga32(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra)
{
    platform::ByteWriter out;
    out.U8(0);
    out.U8(0);
    out.U8(2);
    out.Zeros(9);
    out.U16(static_cast<uint16_t>(width));
    out.U16(static_cast<uint16_t>(height));
    out.U8(32);
    out.U8(0x28); // 8 alpha bits, top-left origin
    out.Bytes(bgra);
    return out.Take();
}

// 24-bit BMP, bottom-up, rows padded to 4 bytes.
inline std::vector<uint8_t> Bmp24(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra)
{
    const uint32_t rowBytes = (width * 3 + 3) & ~3u;
    platform::ByteWriter out;
    out.U8('B');
    out.U8('M');
    out.U32(54 + rowBytes * height);
    out.U32(0);
    out.U32(54);
    out.U32(40);
    out.U32(width);
    out.U32(height);
    out.U16(1);
    out.U16(24);
    out.Zeros(6 * 4);
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = height - 1 - row;
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                out.U8(bgra[(size_t(y) * width + x) * 4 + c]);
        out.Zeros(rowBytes - width * 3);
    }
    return out.Take();
}

} // namespace texture_test
