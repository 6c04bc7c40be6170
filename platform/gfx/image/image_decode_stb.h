#pragma once
// Readers of the file kinds stb_image decodes: PNG of every kind (grey, grey
// and alpha, colour, colour and alpha, colour tables with or without
// transparency, 1 to 16 bits, interlaced or not) and JPEG (baseline and
// progressive). Texels arrive in the format the platform's loader gives: grey
// as L8 (with alpha A8L8), colour as X8R8G8B8 (with alpha A8R8G8B8), 16-bit
// samples as L16 or A16B16G16R16. Before stb_image makes any texel, a file
// must hold enough bytes to describe the texels its header claims, as the
// kind's coding allows at best, and a JPEG's Huffman tables must fit.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikePng(const uint8_t* data, size_t size);
bool LooksLikeJpeg(const uint8_t* data, size_t size);

DecodeResult ReadPng(const uint8_t* data, size_t size, DecodedImage& out);
DecodeResult ReadJpeg(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
