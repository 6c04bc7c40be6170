#pragma once
// Reader of Radiance HDR files (RGBE): the text header, the resolution line
// "-Y height +X width", and rows of four bytes a texel, flat or in the
// run-length rows of each channel that writers make. Texels arrive as
// A32B32G32R32F, each channel its mantissa times two to the power of the shared
// exponent less 136 (0 for an exponent of 0), alpha 1. Every run is checked
// against the row and the file: a run of no values, or one past the row's
// end, is damage, never a loop without end.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikeHdr(const uint8_t* data, size_t size);

DecodeResult ReadHdr(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
