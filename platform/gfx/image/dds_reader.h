#pragma once
// Reader of DDS texture files: 2D, cube (all six faces or some of them, the
// missing ones black) and volume textures with their mip chains, uncompressed
// or in the DXT block formats (kept compressed). A format is known by its
// four-character code, by a format number in its place, or by its channel
// masks (alpha alone flagged either way, luminance flagged as red); a format
// the device has not (ATI1, ATI2, B5G6R5, X4R4G4B4, P8 ...) is refused in words
// that name it. A mip count past the 1 x 1 level means the whole chain. Files
// with the DX10 header extension are refused.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/image_decode.h"

namespace gfx {

// The magic word and the header before the pixel data. Every face and level
// follows it, tightly packed, so a pooled load can read the texels from here on.
inline constexpr size_t kDdsHeaderSize = 128;
inline constexpr uint32_t kDdsMagic = 0x20534444u; // "DDS "

bool LooksLikeDds(const uint8_t* data, size_t size);

DecodeResult ReadDds(const uint8_t* data, size_t size, DecodedImage& out);

} // namespace gfx
