#include "platform/gfx/image/dds_reader.h"

#include <bit>
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
constexpr uint32_t kPixelYuv = 0x200;
constexpr uint32_t kPixelLuminance = 0x20000;
constexpr uint32_t kPixelBumpDuDv = 0x80000;

constexpr uint32_t kCaps2Cube = 0x200;
constexpr uint32_t kCaps2PositiveX = 0x400;
constexpr uint32_t kCaps2AllFaces = 0xFC00; // +X, -X, +Y, -Y, +Z, -Z
constexpr uint32_t kCubeFaceCount = 6;
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
    uint32_t format; // 0: a format of the platform the device has not
    const char* name;
};

constexpr MaskFormat kMaskFormats[] = {
    {MaskClass::Rgb, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, kFormatA8R8G8B8, "A8R8G8B8"},
    {MaskClass::Rgb, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, kFormatX8R8G8B8, "X8R8G8B8"},
    {MaskClass::Rgb, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, kFormatA8B8G8R8, "A8B8G8R8"},
    {MaskClass::Rgb, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0, kFormatX8B8G8R8, "X8B8G8R8"},
    {MaskClass::Rgb, 32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000, kFormatA2B10G10R10, "A2B10G10R10"},
    {MaskClass::Rgb, 32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000, kFormatA2R10G10B10, "A2R10G10B10"},
    {MaskClass::Rgb, 32, 0x0000FFFF, 0xFFFF0000, 0, 0, kFormatG16R16, "G16R16"},
    {MaskClass::Rgb, 24, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, kFormatR8G8B8, "R8G8B8"},
    {MaskClass::Rgb, 16, 0xF800, 0x07E0, 0x001F, 0, kFormatR5G6B5, "R5G6B5"},
    {MaskClass::Rgb, 16, 0x7C00, 0x03E0, 0x001F, 0, kFormatX1R5G5B5, "X1R5G5B5"},
    {MaskClass::Rgb, 16, 0x7C00, 0x03E0, 0x001F, 0x8000, kFormatA1R5G5B5, "A1R5G5B5"},
    {MaskClass::Rgb, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, kFormatA4R4G4B4, "A4R4G4B4"},
    {MaskClass::Luminance, 8, 0xFF, 0, 0, 0, kFormatL8, "L8"},
    {MaskClass::Luminance, 16, 0xFFFF, 0, 0, 0, kFormatL16, "L16"},
    {MaskClass::Luminance, 16, 0x00FF, 0, 0, 0xFF00, kFormatA8L8, "A8L8"},
    {MaskClass::Alpha, 8, 0, 0, 0, 0xFF, kFormatA8, "A8"},
    {MaskClass::BumpDuDv, 16, 0x00FF, 0xFF00, 0, 0, kFormatV8U8, "V8U8"},
    {MaskClass::BumpDuDv, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, kFormatQ8W8V8U8, "Q8W8V8U8"},
    {MaskClass::BumpDuDv, 32, 0x0000FFFF, 0xFFFF0000, 0, 0, kFormatV16U16, "V16U16"},
    // Formats of the platform that the device here has not.
    {MaskClass::Rgb, 16, 0x001F, 0x07E0, 0xF800, 0, 0, "B5G6R5 (R5G6B5 with red and blue swapped)"},
    {MaskClass::Rgb, 16, 0x0F00, 0x00F0, 0x000F, 0, 0, "X4R4G4B4"},
    {MaskClass::Rgb, 16, 0x00E0, 0x001C, 0x0003, 0xFF00, 0, "A8R3G3B2"},
    {MaskClass::Rgb, 8, 0xE0, 0x1C, 0x03, 0, 0, "R3G3B2"},
    {MaskClass::Rgb, 24, 0x000000FF, 0x0000FF00, 0x00FF0000, 0, 0, "B8G8R8 (R8G8B8 with red and blue swapped)"},
    {MaskClass::Luminance, 8, 0x0F, 0, 0, 0xF0, 0, "A4L4"},
    {MaskClass::BumpDuDv, 16, 0x001F, 0x03E0, 0xFC00, 0, 0, "L6V5U5"},
    {MaskClass::BumpDuDv, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0, 0, "X8L8V8U8"},
    {MaskClass::BumpDuDv, 32, 0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000, 0, "A2W10V10U10"},
};

// Formats of the platform by number (what a four-character code may hold)
// that the device here has not.
struct NamedNumber {
    uint32_t number;
    const char* name;
};

constexpr NamedNumber kFormatsNotHere[] = {
    {27, "R3G3B2"},        {29, "A8R3G3B2"},       {30, "X4R4G4B4"},    {40, "A8P8"},
    {41, "P8"},            {52, "A4L4"},           {61, "L6V5U5"},      {62, "X8L8V8U8"},
    {67, "A2W10V10U10"},   {70, "D16_LOCKABLE"},   {71, "D32"},         {73, "D15S1"},
    {75, "D24S8"},         {77, "D24X8"},          {79, "D24X4S4"},     {80, "D16"},
    {82, "D32F_LOCKABLE"}, {83, "D24FS8"},         {84, "D32_LOCKABLE"}, {85, "S8_LOCKABLE"},
    {100, "VERTEXDATA"},   {101, "INDEX16"},       {102, "INDEX32"},    {110, "Q16W16V16U16"},
    {117, "CxV8U8"},       {118, "A1"},            {119, "A2B10G10R10_XR_BIAS"}, {199, "BINARYBUFFER"},
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

std::string Hex(uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += digits[(value >> shift) & 0xF];
    return text;
}

DecodeResult NotHere(const std::string& what)
{
    return DecodeResult::NoSuchFormat("DDS texels in " + what + ", a format the device here has not");
}

// Block formats of other devices' four-character codes, named as their makers name them.
const char* OtherBlockFormat(uint32_t code)
{
    if (code == FourCc('A', 'T', 'I', '1') || code == FourCc('B', 'C', '4', 'U') || code == FourCc('B', 'C', '4', 'S'))
        return "one channel in 4 x 4 blocks (3Dc+, BC4)";
    if (code == FourCc('A', 'T', 'I', '2') || code == FourCc('B', 'C', '5', 'U') || code == FourCc('B', 'C', '5', 'S'))
        return "two channels in 4 x 4 blocks (3Dc, BC5)";
    if (code == FourCc('U', 'Y', 'V', 'Y') || code == FourCc('Y', 'U', 'Y', '2'))
        return "YUV 4:2:2";
    if (code == FourCc('R', 'G', 'B', 'G') || code == FourCc('G', 'R', 'G', 'B'))
        return "two texels' RGB sharing a green";
    if (code == FourCc('M', 'E', 'T', '1'))
        return "a multi-element format";
    return nullptr;
}

DecodeResult FormatOfCode(uint32_t code, uint32_t& format)
{
    if (code == FourCc('D', 'X', '1', '0'))
        return DecodeResult::Invalid("DDS files with the DX10 header extension are not read");
    if (IsBlockCompressed(code)) {
        format = code;
        return {};
    }
    if (const char* other = OtherBlockFormat(code))
        return NotHere("'" + FourCcText(code) + "' (" + other + ")");
    if (code < 256) {
        // A number in place of the code names a format as the platform numbers them.
        if (BytesPerTexel(code) != 0 && !IsDepthFormat(code) && code != kFormatIndex16 && code != kFormatIndex32) {
            format = code;
            return {};
        }
        for (const NamedNumber& entry : kFormatsNotHere)
            if (entry.number == code)
                return NotHere(std::string(entry.name) + " (format " + std::to_string(code) + ")");
        return NotHere("format number " + std::to_string(code));
    }
    return NotHere("the four-character code '" + FourCcText(code) + "' (" + std::to_string(code) + ")");
}

DecodeResult FormatOf(platform::ByteReader& header, uint32_t& format)
{
    const uint32_t flags = header.U32At(kPixelFlagsAt);
    if (flags & kPixelFourCc)
        return FormatOfCode(header.U32At(kFourCcAt), format);

    const uint32_t bits = header.U32At(kBitCountAt);
    uint32_t red = header.U32At(kRedMaskAt);
    const uint32_t green = header.U32At(kGreenMaskAt);
    const uint32_t blue = header.U32At(kBlueMaskAt);
    MaskClass maskClass;
    if (flags & kPixelYuv)
        return NotHere("YUV texels of " + std::to_string(bits) + " bits");
    if (flags & kPixelRgb)
        // Luminance written as red alone, as some writers do, is luminance.
        maskClass = red != 0 && green == 0 && blue == 0 ? MaskClass::Luminance : MaskClass::Rgb;
    else if (flags & kPixelLuminance)
        maskClass = MaskClass::Luminance;
    else if (flags & kPixelBumpDuDv)
        maskClass = MaskClass::BumpDuDv;
    else if (flags & (kPixelAlphaOnly | kPixelAlphaPixels))
        maskClass = MaskClass::Alpha; // alpha alone, whichever of its two flags says so
    else
        return DecodeResult::Invalid("DDS pixel format names no kind of texel (flags " + Hex(flags) + ")");
    if (maskClass == MaskClass::Alpha)
        red = 0;

    // The alpha mask only counts when the file says it has alpha; bump formats
    // carry their fourth channel in it without saying so.
    const bool hasAlpha =
        (flags & (kPixelAlphaPixels | kPixelAlphaOnly)) != 0 || maskClass == MaskClass::BumpDuDv;
    const uint32_t alpha = hasAlpha ? header.U32At(kAlphaMaskAt) : 0;
    for (const MaskFormat& entry : kMaskFormats) {
        const bool colours = maskClass == MaskClass::Alpha || (entry.red == red && entry.green == green && entry.blue == blue);
        if (entry.maskClass == maskClass && entry.bits == bits && colours && entry.alpha == alpha) {
            if (entry.format == 0)
                return NotHere(entry.name);
            format = entry.format;
            return {};
        }
    }
    return NotHere(std::to_string(bits) + "-bit texels with the masks red " + Hex(red) + ", green " + Hex(green) +
                   ", blue " + Hex(blue) + ", alpha " + Hex(alpha));
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
    uint32_t faces = 1; // the faces the file holds
    if (caps2 & kCaps2Cube) {
        // A cube may hold some of its faces, in the order +X, -X, +Y, -Y, +Z,
        // -Z; those it lacks are black and transparent.
        faces = uint32_t(std::popcount(caps2 & kCaps2AllFaces));
        if (faces == 0)
            return DecodeResult::Invalid("DDS cube map without any face");
        if (image.width != image.height)
            return DecodeResult::Invalid("DDS cube map with faces of " + std::to_string(image.width) + " x " +
                                         std::to_string(image.height) + " (not square)");
        image.kind = ImageKind::Cube;
    } else if (caps2 & kCaps2Volume) {
        image.kind = ImageKind::Volume;
        image.depth = header.U32At(kDepthAt);
    }

    // Some writers give the count without its header flag, so any count other
    // than 0 is taken; 0 means the top level alone, and a count past the 1 x 1
    // level means the whole chain.
    const uint32_t mipCount = header.U32At(kMipCountAt);
    const uint32_t chain = FullMipLevels(image.width, image.height, image.kind == ImageKind::Volume ? image.depth : 1);
    image.levels = mipCount == 0 ? 1 : chain != 0 && mipCount > chain ? chain : mipCount;

    const uint64_t held = size - kDdsHeaderSize;
    if (DecodeResult result = LayOutImage(image, image.kind == ImageKind::Cube ? held / faces * kCubeFaceCount : held);
        !result.Ok())
        return result;
    if (image.kind != ImageKind::Cube) {
        std::memcpy(image.bytes.data(), data + kDdsHeaderSize, image.bytes.size());
        return {};
    }
    const size_t faceBytes = image.bytes.size() / kCubeFaceCount;
    const uint8_t* from = data + kDdsHeaderSize;
    for (uint32_t face = 0; face < kCubeFaceCount; ++face) {
        uint8_t* to = image.bytes.data() + faceBytes * face;
        if (caps2 & (kCaps2PositiveX << face)) {
            std::memcpy(to, from, faceBytes);
            from += faceBytes;
        } else {
            std::memset(to, 0, faceBytes);
        }
    }
    return {};
}

} // namespace

DecodeResult ReadDds(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadDdsInto, data, size, out);
}

} // namespace gfx
