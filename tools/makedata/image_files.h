#pragma once
// Writers of the texture files the demonstration loads: DDS (A8R8G8B8, a 2D or
// a volume texture of one level), TGA (32 bits, uncompressed, rows from the
// top) and BMP (32 bits with an alpha mask, rows from the bottom). Texels go
// in as B, G, R, A bytes, rows from the top, slice after slice.
#include <cstdint>
#include <string>
#include <vector>

namespace makedata {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1; // more than 1: a volume
    std::vector<uint8_t> bgra;

    uint8_t* Texel(uint32_t x, uint32_t y, uint32_t z = 0)
    {
        return bgra.data() + 4 * ((size_t(z) * height + y) * width + x);
    }
};

// An image of the size with every byte 0.
Image BlankImage(uint32_t width, uint32_t height, uint32_t depth = 1);

std::vector<uint8_t> EncodeDds(const Image& image);
std::vector<uint8_t> EncodeTga(const Image& image);
std::vector<uint8_t> EncodeBmp(const Image& image);

} // namespace makedata
