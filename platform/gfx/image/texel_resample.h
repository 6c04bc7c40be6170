#pragma once
// An image of one uncompressed format scaled to another size in width, height
// and depth alike, in every format that has a channel layout (texel_channels.h).
// Three filters: the nearest texel; linear, two taps a dimension around the
// target texel's centre; and box, the mean of the source texels the target
// texel covers, each weighed by how much of it is covered, so a level that
// halves averages 2 x 2 (x 2) texels and an odd side (37 to 18) loses nothing
// at its end. Work goes with the texels read and written; the memory taken is
// a few rows.
#include <cstdint>

namespace gfx {

enum class ResampleFilter : uint8_t { Nearest, Linear, Box };

struct TexelRegion {
    uint8_t* bits = nullptr;
    uint32_t rowPitch = 0;
    uint64_t slicePitch = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
};

// Both images of `format`. False (nothing written) for a format without a
// channel layout, unless the filter is Nearest, which copies texels of any
// uncompressed format as they are.
bool ResampleTexels(uint32_t format, const TexelRegion& from, const TexelRegion& to, ResampleFilter filter);

} // namespace gfx
