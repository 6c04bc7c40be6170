#pragma once
// JPEG files for the decoder tests, written by libjpeg: grey or colour
// (YCbCr, no subsampling), baseline or progressive, at quality 100. Both
// kinds hold the same quantized coefficients, so they decode to the same
// texels.
#include <cstdint>
#include <vector>

namespace image_files {

// `samples` from the top row: one a texel (grey) or red, green, blue.
std::vector<uint8_t> WriteJpeg(uint32_t width, uint32_t height, uint32_t channels, const std::vector<uint8_t>& samples,
                               bool progressive);

} // namespace image_files
