#pragma once
// Reader of JPEG files, baseline and progressive, decoded by libjpeg-turbo:
// grey arrives as L8, colour (YCbCr, RGB, CMYK and YCCK) as X8R8G8B8. A file
// must hold enough bytes to describe the texels its header claims (a block of
// 8 x 8 texels takes at least a bit in every scan) and at most 100 scans, so
// a small file cannot ask for a large image or endless work. A file of several
// scans (a progressive one) keeps its coefficients beside its texels while it
// is read, the two together at most 1 GiB, counted from its header before
// either is taken. A file cut short is refused, not filled in grey.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikeJpeg(const uint8_t* data, size_t size);

DecodeResult ReadJpeg(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
