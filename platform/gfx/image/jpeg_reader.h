#pragma once
// Reader of JPEG files, baseline and progressive, decoded by libjpeg-turbo:
// grey arrives as L8, colour (YCbCr, RGB, CMYK and YCCK) as X8R8G8B8. A file
// must hold enough bytes to describe the texels its header claims (a block of
// 8 x 8 texels takes at least a bit in every scan) and at most 100 scans, so
// a small file cannot ask for a large image or endless work; a file cut short
// is refused, not filled in grey.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

bool LooksLikeJpeg(const uint8_t* data, size_t size);

DecodeResult ReadJpeg(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
