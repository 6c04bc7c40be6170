#include "platform/gfx/device/pixel_ops.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gfx/device/format.h"

namespace gfx {

uint16_t FloatToHalf(float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const uint32_t exponent = (bits >> 23) & 0xFFu;
    uint32_t mantissa = bits & 0x7FFFFFu;
    if (exponent == 0xFF) return static_cast<uint16_t>(sign | 0x7C00u | (mantissa ? 0x200u : 0u));
    int32_t e = static_cast<int32_t>(exponent) - 127 + 15;
    if (e >= 31) return static_cast<uint16_t>(sign | 0x7C00u);
    if (e <= 0) {
        if (e < -10) return static_cast<uint16_t>(sign);
        mantissa |= 0x800000u;
        const uint32_t shift = static_cast<uint32_t>(14 - e);
        uint32_t half = mantissa >> shift;
        const uint32_t rest = mantissa & ((1u << shift) - 1);
        const uint32_t halfway = 1u << (shift - 1);
        if (rest > halfway || (rest == halfway && (half & 1u))) ++half;
        return static_cast<uint16_t>(sign | half);
    }
    uint32_t half = (static_cast<uint32_t>(e) << 10) | (mantissa >> 13);
    const uint32_t rest = mantissa & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (half & 1u))) ++half; // may carry into the exponent, as it should
    return static_cast<uint16_t>(sign | half);
}

float HalfToFloat(uint16_t half)
{
    const uint32_t sign = (half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1Fu;
    const uint32_t mantissa = half & 0x3FFu;
    if (exponent == 0) {
        const float value = std::ldexp(static_cast<float>(mantissa), -24);
        return sign ? -value : value;
    }
    if (exponent == 31) return std::bit_cast<float>(sign | 0x7F800000u | (mantissa << 13));
    return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
}

namespace {

template <class T>
void Put(uint8_t* at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

uint32_t Scale(uint32_t channel, uint32_t bits)
{
    const uint32_t max = (1u << bits) - 1;
    return (channel * max + 127) / 255;
}

} // namespace

uint32_t PackColour(uint32_t format, uint32_t argb, uint8_t* texel)
{
    const uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    const float fr = r / 255.0f, fg = g / 255.0f, fb = b / 255.0f, fa = a / 255.0f;
    switch (format) {
    case kFormatA8R8G8B8: case kFormatX8R8G8B8: Put<uint32_t>(texel, argb); return 4;
    case kFormatA8B8G8R8: case kFormatX8B8G8R8: Put<uint32_t>(texel, (a << 24) | (b << 16) | (g << 8) | r); return 4;
    case kFormatR8G8B8: texel[0] = static_cast<uint8_t>(b); texel[1] = static_cast<uint8_t>(g); texel[2] = static_cast<uint8_t>(r); return 3;
    case kFormatR5G6B5: Put<uint16_t>(texel, static_cast<uint16_t>((Scale(r, 5) << 11) | (Scale(g, 6) << 5) | Scale(b, 5))); return 2;
    case kFormatX1R5G5B5: case kFormatA1R5G5B5:
        Put<uint16_t>(texel, static_cast<uint16_t>(((a >= 128 ? 1u : 0u) << 15) | (Scale(r, 5) << 10) | (Scale(g, 5) << 5) | Scale(b, 5)));
        return 2;
    case kFormatA4R4G4B4:
        Put<uint16_t>(texel, static_cast<uint16_t>((Scale(a, 4) << 12) | (Scale(r, 4) << 8) | (Scale(g, 4) << 4) | Scale(b, 4)));
        return 2;
    case kFormatA8: texel[0] = static_cast<uint8_t>(a); return 1;
    case kFormatL8: texel[0] = static_cast<uint8_t>(r); return 1;
    case kFormatA8L8: texel[0] = static_cast<uint8_t>(r); texel[1] = static_cast<uint8_t>(a); return 2;
    case kFormatL16: Put<uint16_t>(texel, static_cast<uint16_t>(r * 257)); return 2;
    case kFormatG16R16: Put<uint32_t>(texel, (g * 257) << 16 | (r * 257)); return 4;
    case kFormatA16B16G16R16:
        Put<uint16_t>(texel, static_cast<uint16_t>(r * 257)); Put<uint16_t>(texel + 2, static_cast<uint16_t>(g * 257));
        Put<uint16_t>(texel + 4, static_cast<uint16_t>(b * 257)); Put<uint16_t>(texel + 6, static_cast<uint16_t>(a * 257));
        return 8;
    case kFormatA2R10G10B10: Put<uint32_t>(texel, (Scale(a, 2) << 30) | (Scale(r, 10) << 20) | (Scale(g, 10) << 10) | Scale(b, 10)); return 4;
    case kFormatA2B10G10R10: Put<uint32_t>(texel, (Scale(a, 2) << 30) | (Scale(b, 10) << 20) | (Scale(g, 10) << 10) | Scale(r, 10)); return 4;
    case kFormatR16F: Put<uint16_t>(texel, FloatToHalf(fr)); return 2;
    case kFormatG16R16F: Put<uint16_t>(texel, FloatToHalf(fr)); Put<uint16_t>(texel + 2, FloatToHalf(fg)); return 4;
    case kFormatA16B16G16R16F:
        Put<uint16_t>(texel, FloatToHalf(fr)); Put<uint16_t>(texel + 2, FloatToHalf(fg));
        Put<uint16_t>(texel + 4, FloatToHalf(fb)); Put<uint16_t>(texel + 6, FloatToHalf(fa));
        return 8;
    case kFormatR32F: Put<float>(texel, fr); return 4;
    case kFormatG32R32F: Put<float>(texel, fr); Put<float>(texel + 4, fg); return 8;
    case kFormatA32B32G32R32F: Put<float>(texel, fr); Put<float>(texel + 4, fg); Put<float>(texel + 8, fb); Put<float>(texel + 12, fa); return 16;
    default: return 0;
    }
}

namespace {

// Fills `count` texels of `texelBytes` at `row` by doubling what is written.
void FillRow(uint8_t* row, size_t count, const uint8_t* texel, uint32_t texelBytes)
{
    const size_t total = count * texelBytes;
    if (total == 0) return;
    std::memcpy(row, texel, texelBytes);
    size_t done = texelBytes;
    while (done < total) {
        const size_t step = std::min(done, total - done);
        std::memcpy(row + done, row, step);
        done += step;
    }
}

} // namespace

void FillRect(uint8_t* bits, uint32_t pitch, const Rect& rect, const uint8_t* texel, uint32_t texelBytes)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top || texelBytes == 0) return;
    const size_t rowBytes = static_cast<size_t>(rect.right - rect.left) * texelBytes;
    uint8_t* first = bits + static_cast<size_t>(rect.top) * pitch + static_cast<size_t>(rect.left) * texelBytes;
    FillRow(first, static_cast<size_t>(rect.right - rect.left), texel, texelBytes);
    // Every other row is a copy of the first.
    for (int32_t y = rect.top + 1; y < rect.bottom; ++y)
        std::memcpy(first + static_cast<size_t>(y - rect.top) * pitch, first, rowBytes);
}

bool HasStencil(uint32_t format)
{
    return format == kFormatD24S8 || format == kFormatD24X4S4 || format == kFormatD15S1;
}

namespace {

// Writes `value` into the bits of `written` of every texel of a rectangle,
// keeping the rest: a fixed-size texel the compiler can work on many at a time.
template <class T>
void MaskedFill(uint8_t* bits, uint32_t pitch, const Rect& rect, T value, T written)
{
    const T kept = static_cast<T>(~written);
    const size_t count = static_cast<size_t>(rect.right - rect.left);
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        uint8_t* at = bits + static_cast<size_t>(y) * pitch + static_cast<size_t>(rect.left) * sizeof(T);
        for (size_t x = 0; x < count; ++x, at += sizeof(T)) {
            T texel;
            std::memcpy(&texel, at, sizeof(T));
            texel = static_cast<T>((texel & kept) | value);
            std::memcpy(at, &texel, sizeof(T));
        }
    }
}

} // namespace

bool PlanDepthStencilClear(uint32_t format, bool depth, float z, bool stencil, uint32_t stencilValue,
                           DepthStencilFill& fill)
{
    const double clamped = std::clamp(static_cast<double>(z), 0.0, 1.0);
    uint32_t depthBits = 0, stencilBits = 0, bytes = 4;
    switch (format) {
    case kFormatD32: depthBits = 32; break;
    case kFormatD24S8: depthBits = 24; stencilBits = 8; break;
    case kFormatD24X8: depthBits = 24; break;
    case kFormatD24X4S4: depthBits = 24; stencilBits = 4; break;
    case kFormatD16: depthBits = 16; bytes = 2; break;
    case kFormatD15S1: depthBits = 15; stencilBits = 1; bytes = 2; break;
    default: return false;
    }
    const uint32_t shift = bytes * 8 - depthBits; // depth sits above the stencil and unused bits
    const uint64_t depthMax = (uint64_t{1} << depthBits) - 1;
    const uint32_t depthValue = static_cast<uint32_t>(std::llround(clamped * static_cast<double>(depthMax)));
    const uint32_t depthMask = static_cast<uint32_t>(depthMax << shift);
    const uint32_t stencilMask = stencilBits ? (1u << stencilBits) - 1 : 0;
    fill = DepthStencilFill{0, 0, bytes};
    if (depth) {
        fill.written |= depthMask;
        fill.value |= (depthValue << shift) & depthMask;
    }
    if (stencil) {
        fill.written |= stencilMask;
        fill.value |= stencilValue & stencilMask;
    }
    return true;
}

void ApplyDepthStencilFill(uint8_t* bits, uint32_t pitch, const Rect& rect, const DepthStencilFill& fill)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    const uint32_t all = fill.bytes == 4 ? 0xFFFFFFFFu : 0xFFFFu;
    if ((fill.written & all) == all) {
        // Nothing of the old texel stays: a plain fill.
        uint8_t texel[4];
        if (fill.bytes == 4)
            Put<uint32_t>(texel, fill.value);
        else
            Put<uint16_t>(texel, static_cast<uint16_t>(fill.value));
        FillRect(bits, pitch, rect, texel, fill.bytes);
    } else if (fill.bytes == 4) {
        MaskedFill<uint32_t>(bits, pitch, rect, fill.value, fill.written);
    } else {
        MaskedFill<uint16_t>(bits, pitch, rect, static_cast<uint16_t>(fill.value), static_cast<uint16_t>(fill.written));
    }
}

bool ClearDepthStencil(uint8_t* bits, uint32_t pitch, uint32_t format, const Rect& rect, bool depth, float z,
                       bool stencil, uint32_t stencilValue)
{
    DepthStencilFill fill;
    if (!PlanDepthStencilClear(format, depth, z, stencil, stencilValue, fill)) return false;
    ApplyDepthStencilFill(bits, pitch, rect, fill);
    return true;
}

namespace {

enum class Channels { None, U8, F32 };

Channels ChannelKind(uint32_t format)
{
    switch (format) {
    case kFormatA8R8G8B8: case kFormatX8R8G8B8: case kFormatA8B8G8R8: case kFormatX8B8G8R8: case kFormatA8:
    case kFormatL8: case kFormatA8L8: case kFormatR8G8B8:
        return Channels::U8;
    case kFormatR32F: case kFormatG32R32F: case kFormatA32B32G32R32F: return Channels::F32;
    default: return Channels::None;
    }
}

bool Compatible(uint32_t src, uint32_t dst)
{
    if (src == dst) return true;
    const auto rgb32 = [](uint32_t f) { return f == kFormatA8R8G8B8 || f == kFormatX8R8G8B8; };
    return rgb32(src) && rgb32(dst);
}

} // namespace

bool CanStretchCopy(uint32_t srcFormat, uint32_t dstFormat)
{
    return Compatible(srcFormat, dstFormat) && !IsBlockCompressed(srcFormat) && !IsDepthFormat(srcFormat) &&
           BytesPerTexel(srcFormat) != 0;
}

namespace {

// Copies the texels at `columns` (byte offsets into the source row) of one row;
// a texel size known here lets each copy be a plain move.
template <uint32_t kBytes>
void GatherRow(uint8_t* out, const uint8_t* row, const std::vector<size_t>& columns)
{
    for (const size_t column : columns) {
        std::memcpy(out, row + column, kBytes);
        out += kBytes;
    }
}

void GatherRow(uint8_t* out, const uint8_t* row, const std::vector<size_t>& columns, uint32_t bpp)
{
    switch (bpp) {
    case 1: GatherRow<1>(out, row, columns); return;
    case 2: GatherRow<2>(out, row, columns); return;
    case 4: GatherRow<4>(out, row, columns); return;
    case 8: GatherRow<8>(out, row, columns); return;
    case 16: GatherRow<16>(out, row, columns); return;
    default:
        for (const size_t column : columns) {
            std::memcpy(out, row + column, bpp);
            out += bpp;
        }
    }
}

void NearestCopy(const uint8_t* src, uint32_t srcPitch, const Rect& srcRect, uint8_t* dst, uint32_t dstPitch,
                 const Rect& dstRect, uint32_t bpp, bool fillAlpha)
{
    const int32_t sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
    const int32_t dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
    // Rows of the same width are moved whole; otherwise each column's source texel is found once.
    std::vector<size_t> columns;
    if (sw != dw) {
        columns.resize(static_cast<size_t>(dw));
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t sx = srcRect.left + static_cast<int32_t>((static_cast<int64_t>(x) * sw) / dw);
            columns[static_cast<size_t>(x)] = static_cast<size_t>(sx) * bpp;
        }
    }
    const size_t rowBytes = static_cast<size_t>(dw) * bpp;
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t sy = srcRect.top + static_cast<int32_t>((static_cast<int64_t>(y) * sh) / dh);
        const uint8_t* row = src + static_cast<size_t>(sy) * srcPitch;
        uint8_t* out = dst + static_cast<size_t>(dstRect.top + y) * dstPitch + static_cast<size_t>(dstRect.left) * bpp;
        if (sw == dw)
            std::memcpy(out, row + static_cast<size_t>(srcRect.left) * bpp, rowBytes);
        else
            GatherRow(out, row, columns, bpp);
        if (fillAlpha)
            for (size_t at = 3; at < rowBytes; at += 4) out[at] = 0xFF;
    }
}

// lround of a texel channel blended from 8-bit values, without the library
// call: exact in double, half away from zero.
uint8_t RoundChannel(float value)
{
    const double wide = value;
    const long rounded = wide >= 0.0 ? static_cast<long>(wide + 0.5) : -static_cast<long>(0.5 - wide);
    return static_cast<uint8_t>(rounded);
}

// Where a destination column or row samples the source: the two texels and
// the weight of the second.
struct Tap {
    int32_t first = 0;
    int32_t second = 0;
    float weight = 0.0f;
};

Tap TapAt(int32_t at, int32_t sourceSize, int32_t targetSize)
{
    // The destination texel's centre mapped into the source.
    const float f = std::clamp((at + 0.5f) * sourceSize / targetSize - 0.5f, 0.0f, static_cast<float>(sourceSize - 1));
    Tap tap;
    tap.first = static_cast<int32_t>(f);
    tap.second = std::min(tap.first + 1, sourceSize - 1);
    tap.weight = f - tap.first;
    return tap;
}

void LinearCopy(const uint8_t* src, uint32_t srcPitch, const Rect& srcRect, uint8_t* dst, uint32_t dstPitch,
                const Rect& dstRect, uint32_t bpp, Channels channels, bool fillAlpha)
{
    const int32_t sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
    const int32_t dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
    // Every row samples the same columns: their taps are worked out once.
    std::vector<Tap> columns(static_cast<size_t>(dw));
    for (int32_t x = 0; x < dw; ++x) columns[static_cast<size_t>(x)] = TapAt(x, sw, dw);
    const uint8_t* first = src + static_cast<size_t>(srcRect.top) * srcPitch + static_cast<size_t>(srcRect.left) * bpp;
    for (int32_t y = 0; y < dh; ++y) {
        const Tap row = TapAt(y, sh, dh);
        const float ty = row.weight;
        const uint8_t* row0 = first + static_cast<size_t>(row.first) * srcPitch;
        const uint8_t* row1 = first + static_cast<size_t>(row.second) * srcPitch;
        uint8_t* out = dst + static_cast<size_t>(dstRect.top + y) * dstPitch + static_cast<size_t>(dstRect.left) * bpp;
        for (int32_t x = 0; x < dw; ++x, out += bpp) {
            const Tap& column = columns[static_cast<size_t>(x)];
            const float tx = column.weight;
            const size_t at0 = static_cast<size_t>(column.first) * bpp, at1 = static_cast<size_t>(column.second) * bpp;
            const uint8_t* p00 = row0 + at0; const uint8_t* p10 = row0 + at1;
            const uint8_t* p01 = row1 + at0; const uint8_t* p11 = row1 + at1;
            if (channels == Channels::U8) {
                for (uint32_t c = 0; c < bpp; ++c) {
                    const float top = p00[c] + (p10[c] - p00[c]) * tx;
                    const float bottom = p01[c] + (p11[c] - p01[c]) * tx;
                    out[c] = RoundChannel(top + (bottom - top) * ty);
                }
            } else {
                for (uint32_t c = 0; c < bpp; c += 4) {
                    float v00, v10, v01, v11;
                    std::memcpy(&v00, p00 + c, 4); std::memcpy(&v10, p10 + c, 4);
                    std::memcpy(&v01, p01 + c, 4); std::memcpy(&v11, p11 + c, 4);
                    const float top = v00 + (v10 - v00) * tx;
                    const float bottom = v01 + (v11 - v01) * tx;
                    const float value = top + (bottom - top) * ty;
                    std::memcpy(out + c, &value, 4);
                }
            }
            if (fillAlpha) out[3] = 0xFF;
        }
    }
}

} // namespace

bool StretchCopy(const uint8_t* src, uint32_t srcPitch, uint32_t srcFormat, const Rect& srcRect, uint8_t* dst,
                 uint32_t dstPitch, uint32_t dstFormat, const Rect& dstRect, uint32_t filter)
{
    if (!CanStretchCopy(srcFormat, dstFormat)) return false;
    const uint32_t bpp = BytesPerTexel(srcFormat);
    const bool fillAlpha = srcFormat == kFormatX8R8G8B8 && dstFormat == kFormatA8R8G8B8;
    const int32_t sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
    const int32_t dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return true;
    const Channels channels = ChannelKind(srcFormat);
    // At the same size a linear filter lands on texel centres: a plain copy.
    if (filter == kFilterLinear && channels != Channels::None && (sw != dw || sh != dh))
        LinearCopy(src, srcPitch, srcRect, dst, dstPitch, dstRect, bpp, channels, fillAlpha);
    else
        NearestCopy(src, srcPitch, srcRect, dst, dstPitch, dstRect, bpp, fillAlpha);
    return true;
}

} // namespace gfx
