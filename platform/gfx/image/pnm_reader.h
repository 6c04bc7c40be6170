#pragma once
// Readers of the files with a short text header of the Netpbm kind: PPM (P6,
// and P3 in text), PGM (P5, P2), PBM (P4, P1) and the float map PFM (PF in
// colour, Pf in grey). Colour becomes X8R8G8B8, grey and black-and-white L8;
// samples of more than 8 bits (a maximum above 255) become A16B16G16R16 or
// L16; a maximum other than 255 or 65535 is scaled to it. A float map becomes
// A32B32G32R32F (alpha 1) or R32F, its values as they are, in the byte order
// its scale's sign gives.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikePnm(const uint8_t* data, size_t size);
bool LooksLikePfm(const uint8_t* data, size_t size);

DecodeResult ReadPnm(const uint8_t* data, size_t size, DecodedImage& out);
DecodeResult ReadPfm(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
