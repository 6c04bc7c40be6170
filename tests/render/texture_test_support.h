#pragma once
// Shared by the texture tests: small TGA and BMP files and a device made the
// way the engine makes it.
#include <cstdint>
#include <cstring>
#include <vector>

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

inline void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Uncompressed 32-bit TGA, origin at the top left.
inline std::vector<uint8_t> Tga32(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra)
{
    std::vector<uint8_t> out{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(out, width);
    Put16(out, height);
    out.push_back(32);
    out.push_back(0x28); // 8 alpha bits, top-left origin
    out.insert(out.end(), bgra.begin(), bgra.end());
    return out;
}

// 24-bit BMP, bottom-up, rows padded to 4 bytes.
inline std::vector<uint8_t> Bmp24(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra)
{
    const uint32_t rowBytes = (width * 3 + 3) & ~3u;
    std::vector<uint8_t> out{'B', 'M'};
    Put32(out, 54 + rowBytes * height);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, height);
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = height - 1 - row;
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                out.push_back(bgra[(size_t(y) * width + x) * 4 + c]);
        for (uint32_t pad = width * 3; pad < rowBytes; ++pad)
            out.push_back(0);
    }
    return out;
}

} // namespace texture_test
