#pragma once
// Reader of TGA files: true-colour, 24 or 32 bits, uncompressed or run-length
// encoded, either row order. Gives A8R8G8B8 texels.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

inline constexpr size_t kTgaHeaderSize = 18;

// TGA has no signature: true for a header we would try to read.
bool LooksLikeTga(const uint8_t* data, size_t size);

DecodeResult ReadTga(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
