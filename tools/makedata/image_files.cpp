#include "tools/makedata/image_files.h"

#include "platform/bytes/byte_writer.h"

namespace makedata {

namespace {

constexpr uint32_t kRedMask = 0x00ff0000u;
constexpr uint32_t kGreenMask = 0x0000ff00u;
constexpr uint32_t kBlueMask = 0x000000ffu;
constexpr uint32_t kAlphaMask = 0xff000000u;

} // namespace

Image BlankImage(uint32_t width, uint32_t height, uint32_t depth)
{
    Image image;
    image.width = width;
    image.height = height;
    image.depth = depth;
    image.bgra.assign(size_t(width) * height * depth * 4, 0);
    return image;
}

std::vector<uint8_t> EncodeDds(const Image& image)
{
    const bool volume = image.depth > 1;
    platform::ByteWriter file;
    file.U32(0x20534444u); // "DDS "
    file.U32(124);
    // Caps, height, width, pitch and pixel format, plus depth for a volume.
    file.U32(0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | (volume ? 0x800000 : 0));
    file.U32(image.height);
    file.U32(image.width);
    file.U32(image.width * 4); // pitch
    file.U32(volume ? image.depth : 0);
    file.U32(0);               // mip count: the top level alone
    file.Zeros(11 * 4);
    // Pixel format: 32-bit RGB with alpha, A8R8G8B8 masks.
    file.U32(32);
    file.U32(0x40 | 0x1);
    file.U32(0);
    file.U32(32);
    file.U32(kRedMask);
    file.U32(kGreenMask);
    file.U32(kBlueMask);
    file.U32(kAlphaMask);
    file.U32(0x1000 | (volume ? 0x8 : 0)); // texture, complex for a volume
    file.U32(volume ? 0x200000 : 0);       // volume
    file.Zeros(3 * 4);
    file.Bytes(image.bgra.data(), image.bgra.size());
    return file.Take();
}

std::vector<uint8_t> EncodeTga(const Image& image)
{
    platform::ByteWriter file;
    file.U8(0);  // no image id
    file.U8(0);  // no colour map
    file.U8(2);  // uncompressed true colour
    file.Zeros(5);
    file.U16(0); // origin x
    file.U16(0); // origin y
    file.U16(static_cast<uint16_t>(image.width));
    file.U16(static_cast<uint16_t>(image.height));
    file.U8(32);
    file.U8(0x20 | 8); // rows from the top, 8 alpha bits
    file.Bytes(image.bgra.data(), size_t(image.width) * image.height * 4);
    return file.Take();
}

std::vector<uint8_t> EncodeBmp(const Image& image)
{
    constexpr uint32_t kFileHeader = 14;
    constexpr uint32_t kInfoHeader = 108; // with the four channel masks
    const uint32_t rowBytes = image.width * 4;
    const uint32_t texelBytes = rowBytes * image.height;
    platform::ByteWriter file;
    file.Chars("BM");
    file.U32(kFileHeader + kInfoHeader + texelBytes);
    file.U32(0);
    file.U32(kFileHeader + kInfoHeader);
    file.U32(kInfoHeader);
    file.U32(image.width);
    file.U32(image.height); // positive: rows from the bottom
    file.U16(1);
    file.U16(32);
    file.U32(3); // bit fields
    file.U32(texelBytes);
    file.U32(2835); // 72 dots per inch
    file.U32(2835);
    file.U32(0);
    file.U32(0);
    file.U32(kRedMask);
    file.U32(kGreenMask);
    file.U32(kBlueMask);
    file.U32(kAlphaMask);
    file.U32(0x73524742u); // "sRGB" colour space
    file.Zeros(36 + 12);   // end points and gamma, unused
    for (uint32_t row = image.height; row-- > 0;)
        file.Bytes(image.bgra.data() + size_t(row) * rowBytes, rowBytes);
    return file.Take();
}

} // namespace makedata
