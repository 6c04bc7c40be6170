#include "platform/gfx/image/tga_reader.h"

#include <string>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/image/image_decode_stb.h"

namespace gfx {

namespace {

constexpr uint8_t kTypeTrueColour = 2;
constexpr uint8_t kTypeTrueColourRle = 10;

// Walks the run-length packets from `at`: true when they cover every texel
// within the file.
bool RunsCoverImage(platform::ByteReader file, size_t at, uint64_t texels, uint32_t bytesPerTexel)
{
    file.Seek(at);
    while (texels > 0 && file.Ok()) {
        const uint8_t packet = file.U8();
        const uint64_t count = (packet & 0x7F) + 1u;
        const uint64_t taken = count < texels ? count : texels;
        file.Skip((packet & 0x80) ? bytesPerTexel : size_t(taken * bytesPerTexel));
        texels -= taken;
    }
    return file.Ok();
}

} // namespace

bool LooksLikeTga(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < kTgaHeaderSize)
        return false;
    platform::ByteReader header(data, kTgaHeaderSize);
    const uint8_t colourMapType = header.U8At(1);
    const uint8_t imageType = header.U8At(2);
    const uint8_t bits = header.U8At(16);
    const bool knownType = imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 ||
                           imageType == 10 || imageType == 11;
    const bool knownBits = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    return colourMapType <= 1 && knownType && knownBits && header.U16At(12) != 0 && header.U16At(14) != 0;
}

DecodeResult ReadTga(const uint8_t* data, size_t size, DecodedImage& out)
{
    out.Clear();
    if (!LooksLikeTga(data, size))
        return DecodeResult::Invalid("not a TGA file");
    platform::ByteReader header(data, kTgaHeaderSize);
    const uint8_t idLength = header.U8At(0);
    const uint8_t colourMapType = header.U8At(1);
    const uint8_t imageType = header.U8At(2);
    const uint32_t width = header.U16At(12);
    const uint32_t height = header.U16At(14);
    const uint32_t bits = header.U8At(16);
    if (colourMapType != 0 || (imageType != kTypeTrueColour && imageType != kTypeTrueColourRle))
        return DecodeResult::Invalid("TGA image type " + std::to_string(imageType) +
                                     " is not supported (true colour only, uncompressed or run-length)");
    if (bits != 24 && bits != 32)
        return DecodeResult::Invalid("TGA of " + std::to_string(bits) + " bits per texel is not supported (24 or 32)");
    if (width > kMaxImageSide || height > kMaxImageSide)
        return DecodeResult::Invalid("TGA of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " is larger than " + std::to_string(kMaxImageSide) + " texels a side");

    const size_t texelsAt = kTgaHeaderSize + idLength;
    const uint64_t texels = uint64_t(width) * height;
    const uint32_t bytesPerTexel = bits / 8;
    if (imageType == kTypeTrueColour) {
        if (texelsAt > size || texels * bytesPerTexel > size - texelsAt)
            return DecodeResult::Invalid("truncated TGA: " + std::to_string(width) + " x " + std::to_string(height) +
                                         " texels need " + std::to_string(texels * bytesPerTexel) +
                                         " bytes after the header");
    } else if (!RunsCoverImage(platform::ByteReader(data, size), texelsAt, texels, bytesPerTexel)) {
        return DecodeResult::Invalid("truncated TGA: its run-length packets end before the last texel");
    }

    out.fileType = ImageFileType::Tga;
    DecodeResult result = DecodeWithStb(data, size, width, height, out);
    if (!result.Ok())
        out.Clear();
    return result;
}

} // namespace gfx
