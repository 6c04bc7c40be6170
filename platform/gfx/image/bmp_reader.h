#pragma once
// Reader of BMP files and of DIBs (the same bitmap without the file header
// before it): 1-, 4- and 8-bit colour tables, uncompressed or run-length
// encoded (RLE8, RLE4), 16 and 32 bits plain or with channel masks, and 24
// bits; any header version (core, OS/2, 40 bytes, V2 to V5); rows from the
// bottom or the top. Texels arrive in the format the platform's loader gives:
// 16 bits as X1R5G5B5 (or what its masks are: A1R5G5B5, R5G6B5, A4R4G4B4),
// 24 bits and colour tables as X8R8G8B8, 32 bits as X8R8G8B8, A8R8G8B8 with an
// alpha mask, or A2R10G10B10 and the like where the masks are those; masks of
// no format are widened or narrowed to 8 bits a channel.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikeBmp(const uint8_t* data, size_t size);
// A DIB has no signature: true when the bytes start with a bitmap header we
// would try to read.
bool LooksLikeDib(const uint8_t* data, size_t size);

DecodeResult ReadBmp(const uint8_t* data, size_t size, DecodedImage& out);
DecodeResult ReadDib(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
