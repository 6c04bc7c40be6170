#pragma once
// Small TGA and BMP writers for the decoder tests. Texels go in as B, G, R, A
// bytes, rows from the top; the writers store them the way each file type does.
#include <cstdint>
#include <vector>

namespace image_files {

struct TgaOptions {
    uint32_t bits = 32;     // 24 or 32
    bool runLength = false; // image type 10 instead of 2
    bool topDown = false;   // origin at the top left instead of the bottom left
    uint8_t idLength = 0;   // bytes of image id after the header
};

std::vector<uint8_t> WriteTga(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra,
                              const TgaOptions& options);

struct BmpOptions {
    uint32_t bits = 24;       // 24 or 32
    bool topDown = false;     // negative height
    uint32_t infoSize = 40;   // 12, 40, 108 or 124
    bool bitFields = false;   // 32 bits with explicit masks
};

std::vector<uint8_t> WriteBmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra,
                              const BmpOptions& options);

// A recognisable BGRA picture of width x height texels.
std::vector<uint8_t> TestPicture(uint32_t width, uint32_t height, bool withAlpha);

} // namespace image_files
