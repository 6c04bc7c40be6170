#pragma once
// Reader of BMP files: 24 or 32 bits, uncompressed or with bit-field masks,
// bottom-up or top-down. Gives A8R8G8B8 texels.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikeBmp(const uint8_t* data, size_t size);

DecodeResult ReadBmp(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
