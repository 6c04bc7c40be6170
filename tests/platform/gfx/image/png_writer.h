#pragma once
// A PNG writer for the decoder tests: every colour type and bit depth, a
// colour table with or without transparency, and Adam7 interlacing.
#include <cstdint>
#include <vector>

namespace image_files {

struct PngOptions {
    uint32_t colourType = 6; // 0 grey, 2 colour, 3 colour table, 4 grey and alpha, 6 colour and alpha
    uint32_t depth = 8;      // bits a sample: 1, 2, 4, 8 or 16 as the colour type allows
    bool interlaced = false;
    std::vector<uint8_t> palette;      // PLTE: red, green, blue a entry
    std::vector<uint8_t> transparency; // tRNS as stored (empty: none)
};

// `samples` from the top row, as many a texel as the colour type has channels
// (one index for a colour table), each within the depth.
std::vector<uint8_t> WritePng(uint32_t width, uint32_t height, const std::vector<uint16_t>& samples,
                              const PngOptions& options);

} // namespace image_files
