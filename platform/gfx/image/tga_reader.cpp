#include "platform/gfx/image/tga_reader.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

constexpr uint8_t kTypeMapped = 1;
constexpr uint8_t kTypeTrueColour = 2;
constexpr uint8_t kTypeGrey = 3;
constexpr uint8_t kRunLength = 8; // added to a type: its texels in run-length packets

constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;

// A run-length packet covers at most 128 texels and takes at least a byte:
// a file cannot describe more texels than this many a byte it holds.
constexpr uint64_t kTexelsPerPacketByte = 128;

struct Header {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t imageType = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapBits = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bits = 0;
    uint8_t descriptor = 0;

    uint8_t BaseType() const { return imageType & 7; }
    bool RunLength() const { return (imageType & kRunLength) != 0; }
    uint32_t AlphaBits() const { return descriptor & 0x0F; }
};

Header ReadHeader(const uint8_t* data)
{
    platform::ByteReader file(data, kTgaHeaderSize);
    Header h;
    h.idLength = file.U8();
    h.mapType = file.U8();
    h.imageType = file.U8();
    h.mapFirst = file.U16();
    h.mapLength = file.U16();
    h.mapBits = file.U8();
    file.Skip(4); // the image's place on a screen
    h.width = file.U16();
    h.height = file.U16();
    h.bits = file.U8();
    h.descriptor = file.U8();
    return h;
}

bool KnownType(uint8_t type)
{
    return type == kTypeMapped || type == kTypeTrueColour || type == kTypeGrey || type == kTypeMapped + kRunLength ||
           type == kTypeTrueColour + kRunLength || type == kTypeGrey + kRunLength;
}

bool ColourBits(uint32_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// The format a texel of `bits` colour bits becomes.
uint32_t ColourFormat(uint32_t bits, uint32_t alphaBits)
{
    switch (bits) {
    case 15: return kFormatX1R5G5B5;
    case 16: return alphaBits != 0 ? kFormatA1R5G5B5 : kFormatX1R5G5B5;
    case 24: return kFormatX8R8G8B8;
    default: return kFormatA8R8G8B8;
    }
}

// One texel of the file (`bytes` of it) as a texel of `format`.
void PutColour(const uint8_t* from, uint32_t bytes, uint32_t format, uint8_t* to)
{
    if (bytes == 3) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 0xFF;
        return;
    }
    std::memcpy(to, from, BytesPerTexel(format));
}

// The file's texels (or colour-map indices) in the order they are stored,
// `bytes` each, from `at`: plain, or unpacked from run-length packets.
DecodeResult ReadStored(platform::ByteReader file, size_t at, bool runLength, uint64_t texels, uint32_t bytes,
                        std::vector<uint8_t>& stored)
{
    file.Seek(at);
    if (!runLength) {
        if (file.Remaining() / bytes < texels)
            return DecodeResult::Invalid("truncated TGA: " + std::to_string(texels) + " texels need " +
                                         std::to_string(texels * bytes) + " bytes, the file holds " +
                                         std::to_string(file.Remaining()));
        stored.resize(size_t(texels * bytes));
        file.CopyTo(stored.data(), stored.size());
        return {};
    }
    if (file.Remaining() * kTexelsPerPacketByte < texels)
        return DecodeResult::Invalid("truncated TGA: " + std::to_string(texels) + " texels cannot be in " +
                                     std::to_string(file.Remaining()) + " bytes of run-length packets");
    stored.resize(size_t(texels * bytes));
    uint8_t* out = stored.data();
    uint64_t left = texels;
    while (left > 0) {
        const uint8_t packet = file.U8();
        // A packet running past the last texel is cut there, as readers do.
        const uint64_t count = std::min<uint64_t>((packet & 0x7F) + 1u, left);
        if (packet & 0x80) {
            const std::span<const uint8_t> texel = file.Bytes(bytes);
            if (!file.Ok())
                break;
            for (uint64_t i = 0; i < count; ++i, out += bytes)
                std::memcpy(out, texel.data(), bytes);
        } else {
            if (!file.CopyTo(out, size_t(count * bytes)))
                break;
            out += count * bytes;
        }
        left -= count;
    }
    if (!file.Ok())
        return DecodeResult::Invalid("truncated TGA: its run-length packets end " + std::to_string(left) +
                                     " texels before the last");
    return {};
}

DecodeResult ReadTgaInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikeTga(data, size))
        return DecodeResult::Invalid("not a TGA file");
    const Header h = ReadHeader(data);
    const uint8_t type = h.BaseType();
    if (type == kTypeMapped) {
        if (h.mapType != 1 || h.mapLength == 0)
            return DecodeResult::Invalid("colour-mapped TGA without a colour map");
        if (h.bits != 8 && h.bits != 16)
            return DecodeResult::Invalid("colour-mapped TGA with indices of " + std::to_string(h.bits) +
                                         " bits (8 or 16)");
        if (!ColourBits(h.mapBits))
            return DecodeResult::Invalid("TGA colour map of " + std::to_string(h.mapBits) +
                                         "-bit entries (15, 16, 24 or 32)");
    } else if (type == kTypeTrueColour) {
        if (!ColourBits(h.bits))
            return DecodeResult::Invalid("true-colour TGA of " + std::to_string(h.bits) + " bits (15, 16, 24 or 32)");
    } else if (h.bits != 8 && h.bits != 16) {
        return DecodeResult::Invalid("grey TGA of " + std::to_string(h.bits) + " bits (8, or 16 with alpha)");
    }

    // What follows the header: the image's id, the colour map, the texels.
    platform::ByteReader file(data, size);
    if (!file.Seek(kTgaHeaderSize + h.idLength))
        return DecodeResult::Invalid("truncated TGA: its image id of " + std::to_string(h.idLength) +
                                     " bytes passes the end of the file");
    const uint32_t entryBytes = (h.mapBits + 7u) / 8u;
    const std::span<const uint8_t> map = file.Bytes(h.mapType == 1 ? size_t(h.mapLength) * entryBytes : 0);
    if (!file.Ok())
        return DecodeResult::Invalid("truncated TGA: its colour map of " + std::to_string(h.mapLength) +
                                     " entries passes the end of the file");

    const uint32_t storedBytes = (h.bits + 7u) / 8u;
    const uint64_t texels = uint64_t(h.width) * h.height;
    std::vector<uint8_t> stored;
    if (DecodeResult result = ReadStored(file, file.Position(), h.RunLength(), texels, storedBytes, stored);
        !result.Ok())
        return result;

    image.fileType = ImageFileType::Tga;
    image.width = h.width;
    image.height = h.height;
    if (type == kTypeMapped)
        image.format = ColourFormat(h.mapBits, h.AlphaBits());
    else if (type == kTypeTrueColour)
        image.format = ColourFormat(h.bits, h.AlphaBits());
    else
        image.format = h.bits == 8 ? kFormatL8 : kFormatA8L8;
    const uint32_t outBytes = BytesPerTexel(image.format);
    if (DecodeResult result = LayOutImage(image, texels * outBytes); !result.Ok())
        return result;

    // Rows go top down and texels left to right in the image, whichever
    // corner the file starts from.
    const bool topDown = (h.descriptor & kTopToBottom) != 0;
    const bool rightToLeft = (h.descriptor & kRightToLeft) != 0;
    const uint32_t rowPitch = image.subresources[0].rowPitch;
    for (uint32_t row = 0; row < h.height; ++row) {
        const uint32_t y = topDown ? row : h.height - 1 - row;
        const uint8_t* from = stored.data() + size_t(row) * h.width * storedBytes;
        uint8_t* line = image.bytes.data() + size_t(y) * rowPitch;
        for (uint32_t column = 0; column < h.width; ++column, from += storedBytes) {
            const uint32_t x = rightToLeft ? h.width - 1 - column : column;
            uint8_t* to = line + size_t(x) * outBytes;
            if (type == kTypeMapped) {
                const uint32_t index = storedBytes == 1 ? from[0] : uint32_t(from[0] | from[1] << 8);
                if (index < h.mapFirst || index - h.mapFirst >= h.mapLength)
                    return DecodeResult::Invalid("TGA colour-map index " + std::to_string(index) +
                                                 " outside the map's entries " + std::to_string(h.mapFirst) +
                                                 " to " + std::to_string(h.mapFirst + h.mapLength - 1));
                PutColour(map.data() + size_t(index - h.mapFirst) * entryBytes, entryBytes, image.format, to);
            } else {
                PutColour(from, storedBytes, image.format, to);
            }
        }
    }
    return {};
}

} // namespace

bool LooksLikeTga(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < kTgaHeaderSize)
        return false;
    const Header h = ReadHeader(data);
    const bool knownBits = h.bits == 8 || h.bits == 15 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    return h.mapType <= 1 && KnownType(h.imageType) && knownBits && h.width != 0 && h.height != 0;
}

DecodeResult ReadTga(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadTgaInto, data, size, out);
}

} // namespace gfx
