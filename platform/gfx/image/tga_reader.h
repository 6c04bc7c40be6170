#pragma once
// Reader of TGA files of every kind a TGA writer makes: true colour (15, 16, 24
// or 32 bits), grey (8 bits, or 16 with alpha) and colour-mapped (8- or 16-bit
// indices into 15-, 16-, 24- or 32-bit entries), each uncompressed or
// run-length encoded, from any corner. Texels arrive as the file holds them in
// the format the platform's loader gives: grey as L8 (with alpha A8L8), 16 bits
// as A1R5G5B5 when the file counts an alpha bit and X1R5G5B5 when not, 24 bits
// as X8R8G8B8, 32 bits as A8R8G8B8; a colour map's entries choose the format
// the same way.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

inline constexpr size_t kTgaHeaderSize = 18;

// TGA has no signature: true for a header we would try to read.
bool LooksLikeTga(const uint8_t* data, size_t size);

DecodeResult ReadTga(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
