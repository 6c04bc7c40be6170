#include "platform/gfx/image/bmp_reader.h"

#include <string>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/image/image_decode_stb.h"

namespace gfx {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;

} // namespace

bool LooksLikeBmp(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= 2 && data[0] == 'B' && data[1] == 'M';
}

DecodeResult ReadBmp(const uint8_t* data, size_t size, DecodedImage& out)
{
    out.Clear();
    if (!LooksLikeBmp(data, size))
        return DecodeResult::Invalid("not a BMP file");
    if (size < kFileHeaderSize + 4)
        return DecodeResult::Invalid("truncated BMP header");
    platform::ByteReader header(data, size);
    const uint32_t texelsAt = header.U32At(10);
    const uint32_t infoSize = header.U32At(14);
    if (infoSize != 12 && infoSize != 40 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return DecodeResult::Invalid("BMP information header of " + std::to_string(infoSize) +
                                     " bytes is not supported");
    if (size < kFileHeaderSize + infoSize)
        return DecodeResult::Invalid("truncated BMP header");

    int64_t width;
    int64_t height;
    uint32_t planes;
    uint32_t bits;
    uint32_t compression = kCompressionNone;
    if (infoSize == 12) {
        width = header.U16At(18);
        height = header.U16At(20);
        planes = header.U16At(22);
        bits = header.U16At(24);
    } else {
        width = int32_t(header.U32At(18));
        height = int32_t(header.U32At(22)); // negative: rows stored top-down
        planes = header.U16At(26);
        bits = header.U16At(28);
        compression = header.U32At(30);
    }
    if (planes != 1)
        return DecodeResult::Invalid("BMP with " + std::to_string(planes) + " planes");
    if (bits != 24 && bits != 32)
        return DecodeResult::Invalid("BMP of " + std::to_string(bits) + " bits per texel is not supported (24 or 32)");
    if (compression != kCompressionNone && !(compression == kCompressionBitFields && bits == 32))
        return DecodeResult::Invalid("compressed BMP (method " + std::to_string(compression) + ") is not supported");
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0)
        return DecodeResult::Invalid("BMP of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " has no texels");
    if (width > kMaxImageSide || rows > kMaxImageSide)
        return DecodeResult::Invalid("BMP of " + std::to_string(width) + " x " + std::to_string(rows) +
                                     " is larger than " + std::to_string(kMaxImageSide) + " texels a side");

    // The texels start right after the headers (and the masks of a short header).
    const bool masksFollow = infoSize == 40 && compression == kCompressionBitFields;
    const size_t headersEnd = kFileHeaderSize + infoSize + (masksFollow ? 12 : 0);
    if (texelsAt != headersEnd)
        return DecodeResult::Invalid("BMP texels start at " + std::to_string(texelsAt) + ", not after the headers at " +
                                     std::to_string(headersEnd));
    const uint64_t rowBytes = (uint64_t(width) * (bits / 8) + 3) & ~uint64_t(3);
    if (texelsAt > size || rowBytes * uint64_t(rows) > size - texelsAt)
        return DecodeResult::Invalid("truncated BMP: " + std::to_string(width) + " x " + std::to_string(rows) +
                                     " texels need " + std::to_string(rowBytes * uint64_t(rows)) +
                                     " bytes after the headers");

    out.fileType = ImageFileType::Bmp;
    DecodeResult result = DecodeWithStb(data, size, uint32_t(width), uint32_t(rows), out);
    if (!result.Ok())
        out.Clear();
    return result;
}

} // namespace gfx
