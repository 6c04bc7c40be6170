#pragma once
// The TGA and BMP readers' access to stb_image, after they have checked the
// file themselves: stb_image reads past a truncated file as zeros.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

// Decodes a TGA or BMP file into `out` as a one-level 2D A8R8G8B8 image of the
// expected size (a different size from stb_image is invalid data).
DecodeResult DecodeWithStb(const uint8_t* data, size_t size, uint32_t width, uint32_t height, DecodedImage& out);

} // namespace gfx
