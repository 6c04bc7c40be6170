#include "platform/gfx/image/dds_reader.h"

#include <cstring>
#include <string>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

// Byte offsets in the file (the magic word included).
constexpr size_t kHeaderSizeAt = 4;
constexpr size_t kHeightAt = 12;
constexpr size_t kWidthAt = 16;
constexpr size_t kDepthAt = 24;
constexpr size_t kMipCountAt = 28;
constexpr size_t kPixelFormatSizeAt = 76;
constexpr size_t kPixelFlagsAt = 80;
constexpr size_t kFourCcAt = 84;
constexpr size_t kBitCountAt = 88;
constexpr size_t kRedMaskAt = 92;
constexpr size_t kGreenMaskAt = 96;
constexpr size_t kBlueMaskAt = 100;
constexpr size_t kAlphaMaskAt = 104;
constexpr size_t kCaps2At = 112;

constexpr uint32_t kHeaderStructSize = 124;
constexpr uint32_t kPixelFormatStructSize = 32;

constexpr uint32_t kPixelAlphaPixels = 0x1;
constexpr uint32_t kPixelAlphaOnly = 0x2;
constexpr uint32_t kPixelFourCc = 0x4;
constexpr uint32_t kPixelRgb = 0x40;
constexpr uint32_t kPixelLuminance = 0x20000;
constexpr uint32_t kPixelBumpDuDv = 0x80000;

constexpr uint32_t kCaps2Cube = 0x200;
constexpr uint32_t kCaps2AllFaces = 0xFC00; // +X, -X, +Y, -Y, +Z, -Z
constexpr uint32_t kCaps2Volume = 0x200000;

constexpr uint32_t FourCc(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

enum class MaskClass : uint8_t { Rgb, Luminance, Alpha, BumpDuDv };

struct MaskFormat {
    MaskClass maskClass;
    uint32_t bits;
    uint32_t red, green, blue, alpha;
    uint32_t format;
};

constexpr MaskFormat kMaskFormats[] = {
    {MaskClass::Rgb, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, kFormatA8R8G8B8},
    {MaskClass::Rgb, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, kFormatX8R8G8B8},
    {MaskClass::Rgb, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, kFormatA8B8G8R8},
    {MaskClass::Rgb, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0, kFormatX8B8G8R8},
    {MaskClass::Rgb, 32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000, kFormatA2B10G10R10},
    {MaskClass::Rgb, 32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000, kFormatA2R10G10B10},
    {MaskClass::Rgb, 32, 0x0000FFFF, 0xFFFF0000, 0, 0, kFormatG16R16},
    {MaskClass::Rgb, 24, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, kFormatR8G8B8},
    {MaskClass::Rgb, 16, 0xF800, 0x07E0, 0x001F, 0, kFormatR5G6B5},
    {MaskClass::Rgb, 16, 0x7C00, 0x03E0, 0x001F, 0, kFormatX1R5G5B5},
    {MaskClass::Rgb, 16, 0x7C00, 0x03E0, 0x001F, 0x8000, kFormatA1R5G5B5},
    {MaskClass::Rgb, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, kFormatA4R4G4B4},
    {MaskClass::Luminance, 8, 0xFF, 0, 0, 0, kFormatL8},
    {MaskClass::Luminance, 16, 0xFFFF, 0, 0, 0, kFormatL16},
    {MaskClass::Luminance, 16, 0x00FF, 0, 0, 0xFF00, kFormatA8L8},
    {MaskClass::Alpha, 8, 0, 0, 0, 0xFF, kFormatA8},
    {MaskClass::BumpDuDv, 16, 0x00FF, 0xFF00, 0, 0, kFormatV8U8},
    {MaskClass::BumpDuDv, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, kFormatQ8W8V8U8},
    {MaskClass::BumpDuDv, 32, 0x0000FFFF, 0xFFFF0000, 0, 0, kFormatV16U16},
};

// Four-character codes that are format numbers themselves (the float formats).
constexpr uint32_t kNumberedFormats[] = {
    kFormatA16B16G16R16, kFormatR16F,  kFormatG16R16F,      kFormatA16B16G16R16F,
    kFormatR32F,         kFormatG32R32F, kFormatA32B32G32R32F,
};

std::string FourCcText(uint32_t code)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

DecodeResult FormatOf(platform::ByteReader& header, uint32_t& format)
{
    const uint32_t flags = header.U32At(kPixelFlagsAt);
    if (flags & kPixelFourCc) {
        const uint32_t code = header.U32At(kFourCcAt);
        if (code == FourCc('D', 'X', '1', '0'))
            return DecodeResult::Invalid("DDS files with the DX10 header extension are not supported");
        if (IsBlockCompressed(code)) {
            format = code;
            return {};
        }
        for (uint32_t numbered : kNumberedFormats) {
            if (code == numbered) {
                format = code;
                return {};
            }
        }
        return DecodeResult::Invalid("unsupported DDS four-character code '" + FourCcText(code) + "' (" +
                                     std::to_string(code) + ")");
    }

    MaskClass maskClass;
    if (flags & kPixelRgb)
        maskClass = MaskClass::Rgb;
    else if (flags & kPixelLuminance)
        maskClass = MaskClass::Luminance;
    else if (flags & kPixelBumpDuDv)
        maskClass = MaskClass::BumpDuDv;
    else if (flags & kPixelAlphaOnly)
        maskClass = MaskClass::Alpha;
    else
        return DecodeResult::Invalid("DDS pixel format names no kind of texel (flags " + std::to_string(flags) + ")");

    const uint32_t bits = header.U32At(kBitCountAt);
    const uint32_t red = header.U32At(kRedMaskAt);
    const uint32_t green = header.U32At(kGreenMaskAt);
    const uint32_t blue = header.U32At(kBlueMaskAt);
    // The alpha mask only counts when the file says it has alpha; bump formats
    // carry their fourth channel in it without saying so.
    const bool hasAlpha =
        (flags & (kPixelAlphaPixels | kPixelAlphaOnly)) != 0 || maskClass == MaskClass::BumpDuDv;
    const uint32_t alpha = hasAlpha ? header.U32At(kAlphaMaskAt) : 0;
    for (const MaskFormat& entry : kMaskFormats) {
        if (entry.maskClass == maskClass && entry.bits == bits && entry.red == red && entry.green == green &&
            entry.blue == blue && entry.alpha == alpha) {
            format = entry.format;
            return {};
        }
    }
    return DecodeResult::Invalid("unsupported DDS pixel format: " + std::to_string(bits) + " bits with masks " +
                                 std::to_string(red) + ", " + std::to_string(green) + ", " + std::to_string(blue) +
                                 ", " + std::to_string(alpha));
}

} // namespace

bool LooksLikeDds(const uint8_t* data, size_t size)
{
    return size >= 4 && platform::ByteReader(data, size).U32At(0) == kDdsMagic;
}

namespace {

DecodeResult ReadDdsInto(const uint8_t* data, size_t size, DecodedImage& out)
{
    if (data == nullptr || !LooksLikeDds(data, size))
        return DecodeResult::Invalid("not a DDS file (no \"DDS \" magic)");
    if (size < kDdsHeaderSize)
        return DecodeResult::Invalid("DDS file of " + std::to_string(size) + " bytes is shorter than its " +
                                     std::to_string(kDdsHeaderSize) + "-byte header");
    platform::ByteReader header(data, kDdsHeaderSize);
    if (header.U32At(kHeaderSizeAt) != kHeaderStructSize)
        return DecodeResult::Invalid("DDS header size is " + std::to_string(header.U32At(kHeaderSizeAt)) +
                                     ", not 124");
    if (header.U32At(kPixelFormatSizeAt) != kPixelFormatStructSize)
        return DecodeResult::Invalid("DDS pixel format size is " + std::to_string(header.U32At(kPixelFormatSizeAt)) +
                                     ", not 32");

    DecodedImage& image = out;
    image.fileType = ImageFileType::Dds;
    if (DecodeResult result = FormatOf(header, image.format); !result.Ok())
        return result;

    image.width = header.U32At(kWidthAt);
    image.height = header.U32At(kHeightAt);
    const uint32_t caps2 = header.U32At(kCaps2At);
    if (caps2 & kCaps2Cube) {
        if ((caps2 & kCaps2AllFaces) != kCaps2AllFaces)
            return DecodeResult::Invalid("DDS cube map without all six faces");
        if (image.width != image.height)
            return DecodeResult::Invalid("DDS cube map with faces of " + std::to_string(image.width) + " x " +
                                         std::to_string(image.height) + " (not square)");
        image.kind = ImageKind::Cube;
    } else if (caps2 & kCaps2Volume) {
        image.kind = ImageKind::Volume;
        image.depth = header.U32At(kDepthAt);
    }

    // Some writers give the count without its header flag, so any count other
    // than 0 is taken; 0 means the top level alone.
    const uint32_t mipCount = header.U32At(kMipCountAt);
    image.levels = mipCount != 0 ? mipCount : 1;

    if (DecodeResult result = LayOutImage(image, size - kDdsHeaderSize); !result.Ok())
        return result;
    if (!image.bytes.empty())
        std::memcpy(image.bytes.data(), data + kDdsHeaderSize, image.bytes.size());
    return {};
}

} // namespace

DecodeResult ReadDds(const uint8_t* data, size_t size, DecodedImage& out)
{
    out.Clear();
    DecodeResult result = ReadDdsInto(data, size, out);
    if (!result.Ok())
        out.Clear();
    return result;
}

} // namespace gfx
