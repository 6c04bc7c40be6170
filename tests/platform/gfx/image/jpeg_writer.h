#pragma once
// JPEG files for the decoder tests, written by libjpeg: grey or colour
// (YCbCr, no subsampling), baseline or progressive, at quality 100. Both
// kinds hold the same quantized coefficients, so they decode to the same
// texels.
#include <cstdint>
#include <vector>

namespace image_files {

// `samples` from the top row: one a texel (grey) or red, green, blue.
// `scans` (grey only, 2 to 127) makes a progressive file of that many scans:
// the DC coefficients, then each AC coefficient (or band of them) alone, the
// first ones in two steps of precision.
std::vector<uint8_t> WriteJpeg(uint32_t width, uint32_t height, uint32_t channels, const std::vector<uint8_t>& samples,
                               bool progressive, uint32_t scans = 0);

} // namespace image_files
