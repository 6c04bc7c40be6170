#pragma once
// Reader of PNG files of every kind (grey, grey and alpha, colour, colour and
// alpha, colour tables with or without transparency, 1 to 16 bits,
// interlaced or not), decoded by libpng. Texels arrive in the format the
// platform's loader gives: grey as L8 (with alpha A8L8), colour as X8R8G8B8
// (with alpha or a transparent colour A8R8G8B8), 16-bit samples as L16 or
// A16B16G16R16. Before any texel is made, a file must hold enough compressed
// bytes to describe the texels its header claims; libpng then decodes a row
// at a time straight into the image's rows (an interlaced image's passes into
// the same rows), which is all the memory a decode takes but a few rows.
// Chunks' checksums are not looked at, the compressed texels' own check is;
// chunks that do not make the texels are skipped unread.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikePng(const uint8_t* data, size_t size);

DecodeResult ReadPng(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
