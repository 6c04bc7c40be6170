#pragma once
// Texel work of clears and stretch copies: a colour turned into a texel of a
// format, rectangles filled, depth and stencil written, images copied and
// scaled between rectangles.
#include <algorithm>
#include <cstdint>

#include "platform/gfx/device/draw_types.h"

namespace gfx {

// Writes the texel of `format` for the 0xAARRGGBB colour into `texel` (room for
// 16 bytes); returns its size, 0 for a format a colour cannot be written to.
uint32_t PackColour(uint32_t format, uint32_t argb, uint8_t* texel);

// The part of `a` inside `b` (empty, never inside out, where they do not meet).
inline Rect Intersect(const Rect& a, const Rect& b)
{
    Rect out{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (out.right < out.left) out.right = out.left;
    if (out.bottom < out.top) out.bottom = out.top;
    return out;
}

// Fills `rect` of an image with one texel of `texelBytes` bytes.
void FillRect(uint8_t* bits, uint32_t pitch, const Rect& rect, const uint8_t* texel, uint32_t texelBytes);

// A depth-stencil clear as texel bits: `value` goes into the bits of `written`
// of every texel of `bytes` bytes, the other bits stay.
struct DepthStencilFill {
    uint32_t value = 0;
    uint32_t written = 0;
    uint32_t bytes = 4;
};

// The fill that writes depth `z` (0..1) and/or `stencil` into a texel of a
// depth-stencil format. False for a format that is not a depth format.
bool PlanDepthStencilClear(uint32_t format, bool depth, float z, bool stencil, uint32_t stencilValue,
                           DepthStencilFill& fill);
void ApplyDepthStencilFill(uint8_t* bits, uint32_t pitch, const Rect& rect, const DepthStencilFill& fill);

// Writes depth `z` (0..1) and/or `stencil` into `rect` of a depth-stencil image,
// keeping the part not written. False for a format that is not a depth format.
bool ClearDepthStencil(uint8_t* bits, uint32_t pitch, uint32_t format, const Rect& rect, bool depth, float z,
                       bool stencil, uint32_t stencilValue);

// True when the format keeps stencil bits.
bool HasStencil(uint32_t format);

// True when StretchCopy can copy between these formats.
bool CanStretchCopy(uint32_t srcFormat, uint32_t dstFormat);

// Copies `srcRect` of the source into `dstRect` of the destination, both of
// `format` (or X8R8G8B8 and A8R8G8B8 mixed), scaling by nearest texel or, with
// a linear filter, by bilinear filtering for 8-bit and 32-bit float channels.
// False for formats that cannot be copied so.
bool StretchCopy(const uint8_t* src, uint32_t srcPitch, uint32_t srcFormat, const Rect& srcRect, uint8_t* dst,
                 uint32_t dstPitch, uint32_t dstFormat, const Rect& dstRect, uint32_t filter);

// 16-bit float of a 32-bit float, rounded to nearest even.
uint16_t FloatToHalf(float value);
float HalfToFloat(uint16_t half);

} // namespace gfx
