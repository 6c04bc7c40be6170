#pragma once
// A JPEG writer for the decoder tests: grey or colour (YCbCr, no subsampling),
// as a baseline file (one scan) or a progressive one (the DC of every
// component in a first scan, then each component's AC coefficients in a scan
// of its own), the same quantized coefficients either way, so both must
// decode to the same texels.
#include <cstdint>
#include <vector>

namespace image_files {

// `samples` from the top row: one a texel (grey) or red, green, blue.
std::vector<uint8_t> WriteJpeg(uint32_t width, uint32_t height, uint32_t channels, const std::vector<uint8_t>& samples,
                               bool progressive);

} // namespace image_files
