#include "testing/dds_writer.h"

#include "platform/bytes/byte_writer.h"
#include "platform/gfx/device/format.h"

namespace platform::testing {

namespace {

struct PixelFormat {
    uint32_t flags = 0;
    uint32_t fourCc = 0;
    uint32_t bits = 0;
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

constexpr uint32_t kAlphaPixels = 0x1;
constexpr uint32_t kAlphaOnly = 0x2;
constexpr uint32_t kFourCc = 0x4;
constexpr uint32_t kRgb = 0x40;
constexpr uint32_t kLuminance = 0x20000;
constexpr uint32_t kBumpDuDv = 0x80000;

// Written out independently of the reader's table, so that a wrong entry in one
// shows up as a failed round trip.
PixelFormat PixelFormatOf(uint32_t format)
{
    using namespace gfx;
    switch (format) {
    case kFormatA8R8G8B8: return {kRgb | kAlphaPixels, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    case kFormatX8R8G8B8: return {kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
    case kFormatA8B8G8R8: return {kRgb | kAlphaPixels, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};
    case kFormatX8B8G8R8: return {kRgb, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0};
    case kFormatA2B10G10R10: return {kRgb | kAlphaPixels, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000};
    case kFormatA2R10G10B10: return {kRgb | kAlphaPixels, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000};
    case kFormatG16R16: return {kRgb, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0};
    case kFormatR8G8B8: return {kRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
    case kFormatR5G6B5: return {kRgb, 0, 16, 0xF800, 0x7E0, 0x1F, 0};
    case kFormatX1R5G5B5: return {kRgb, 0, 16, 0x7C00, 0x3E0, 0x1F, 0};
    case kFormatA1R5G5B5: return {kRgb | kAlphaPixels, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000};
    case kFormatA4R4G4B4: return {kRgb | kAlphaPixels, 0, 16, 0xF00, 0xF0, 0xF, 0xF000};
    case kFormatL8: return {kLuminance, 0, 8, 0xFF, 0, 0, 0};
    case kFormatL16: return {kLuminance, 0, 16, 0xFFFF, 0, 0, 0};
    case kFormatA8L8: return {kLuminance | kAlphaPixels, 0, 16, 0xFF, 0, 0, 0xFF00};
    case kFormatA8: return {kAlphaOnly, 0, 8, 0, 0, 0, 0xFF};
    case kFormatV8U8: return {kBumpDuDv, 0, 16, 0xFF, 0xFF00, 0, 0};
    case kFormatQ8W8V8U8: return {kBumpDuDv, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};
    case kFormatV16U16: return {kBumpDuDv, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0};
    default:
        // Block formats and the float formats are named by their four-character code.
        return {kFourCc, format, 0, 0, 0, 0, 0};
    }
}

} // namespace

uint64_t DdsTexelBytes(const DdsSpec& spec)
{
    return gfx::ImageByteSize(spec.format, spec.kind, spec.width, spec.height,
                              spec.kind == gfx::ImageKind::Volume ? spec.depth : 1, spec.levels);
}

std::vector<uint8_t> PatternTexels(const DdsSpec& spec, uint32_t seed)
{
    std::vector<uint8_t> texels(size_t(DdsTexelBytes(spec)));
    uint32_t state = seed * 2654435761u + 12345u;
    for (uint8_t& byte : texels) {
        state = state * 1664525u + 1013904223u;
        byte = uint8_t(state >> 24);
    }
    return texels;
}

std::vector<uint8_t> WriteDds(const DdsSpec& spec, const std::vector<uint8_t>& texels)
{
    const PixelFormat pixel = PixelFormatOf(spec.format);
    const bool compressed = gfx::IsBlockCompressed(spec.format);

    uint32_t flags = 0x1 | 0x2 | 0x4 | 0x1000; // caps, height, width, pixel format
    flags |= compressed ? 0x80000 : 0x8;       // linear size or pitch
    if (spec.levels > 1)
        flags |= 0x20000;
    if (spec.kind == gfx::ImageKind::Volume)
        flags |= 0x800000;
    uint32_t caps = 0x1000; // texture
    if (spec.levels > 1)
        caps |= 0x400000 | 0x8; // mip map, complex
    uint32_t caps2 = 0;
    if (spec.kind == gfx::ImageKind::Cube) {
        caps |= 0x8;
        caps2 = 0x200 | 0xFC00;
    } else if (spec.kind == gfx::ImageKind::Volume) {
        caps |= 0x8;
        caps2 = 0x200000;
    }

    platform::ByteWriter file;
    file.U32(0x20534444u); // "DDS "
    file.U32(124);
    file.U32(flags);
    file.U32(spec.height);
    file.U32(spec.width);
    file.U32(compressed ? uint32_t(gfx::LevelSize(spec.format, spec.width, spec.height))
                        : gfx::RowPitch(spec.format, spec.width));
    file.U32(spec.kind == gfx::ImageKind::Volume ? spec.depth : 0);
    file.U32(spec.levels);
    file.Zeros(11 * 4); // reserved
    file.U32(32);       // the pixel format's size
    file.U32(pixel.flags);
    file.U32(pixel.fourCc);
    file.U32(pixel.bits);
    file.U32(pixel.red);
    file.U32(pixel.green);
    file.U32(pixel.blue);
    file.U32(pixel.alpha);
    file.U32(caps);
    file.U32(caps2);
    file.Zeros(3 * 4); // caps 3 and 4, reserved
    file.Bytes(texels);
    return file.Take();
}

std::vector<uint8_t> WriteDds(const DdsSpec& spec, uint32_t seed)
{
    return WriteDds(spec, PatternTexels(spec, seed));
}

} // namespace platform::testing
