#include "platform/gfx/image/tga_reader.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

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

// A run-length packet is a byte and one stored texel, for at most 128 texels:
// a file cannot describe more texels than that for the bytes it holds.
constexpr uint64_t kTexelsPerPacket = 128;

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

// Where each stored texel goes in the image, in the order the file keeps
// them: rows top down and texels left to right there, whichever corner the
// file starts from.
class Placer {
public:
    Placer(DecodedImage& image, uint8_t descriptor, uint32_t texelBytes)
        : image_(image), topDown_((descriptor & kTopToBottom) != 0), rightToLeft_((descriptor & kRightToLeft) != 0),
          texelBytes_(texelBytes)
    {
        StartRow();
    }

    uint8_t* Next()
    {
        uint8_t* at = line_ + size_t(rightToLeft_ ? image_.width - 1 - column_ : column_) * texelBytes_;
        if (++column_ == image_.width) {
            column_ = 0;
            ++row_;
            StartRow();
        }
        return at;
    }

private:
    void StartRow()
    {
        const uint32_t y = topDown_ ? row_ : image_.height - 1 - row_;
        line_ = row_ < image_.height ? image_.bytes.data() + size_t(y) * image_.subresources[0].rowPitch : nullptr;
    }

    DecodedImage& image_;
    bool topDown_, rightToLeft_;
    uint32_t texelBytes_;
    uint32_t row_ = 0, column_ = 0;
    uint8_t* line_ = nullptr;
};

DecodeResult ReadTgaInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikeTga(data, size))
        return DecodeResult::Invalid("not a TGA file");
    const Header h = ReadHeader(data);
    if (h.width > kMaxImageSide || h.height > kMaxImageSide)
        return DecodeResult::Invalid("TGA of " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                                     " is larger than " + std::to_string(kMaxImageSide) + " texels a side");
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
    const size_t held = file.Remaining();
    if (!h.RunLength() && held / storedBytes < texels)
        return DecodeResult::Invalid("truncated TGA: " + std::to_string(texels) + " texels need " +
                                     std::to_string(texels * storedBytes) + " bytes, the file holds " +
                                     std::to_string(held));
    if (h.RunLength() && held / (1 + storedBytes) * kTexelsPerPacket < texels)
        return DecodeResult::Invalid("truncated TGA: " + std::to_string(texels) + " texels cannot be in " +
                                     std::to_string(held) + " bytes of run-length packets (at most " +
                                     std::to_string(kTexelsPerPacket) + " texels a packet of " +
                                     std::to_string(1 + storedBytes) + " bytes)");

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

    // Each stored texel (or colour-map index) as a texel of the image's format.
    const auto convert = [&](const uint8_t* from, uint8_t* to) {
        if (type != kTypeMapped) {
            PutColour(from, storedBytes, image.format, to);
            return true;
        }
        const uint32_t index = storedBytes == 1 ? from[0] : uint32_t(from[0] | from[1] << 8);
        if (index < h.mapFirst || index - h.mapFirst >= h.mapLength)
            return false;
        PutColour(map.data() + size_t(index - h.mapFirst) * entryBytes, entryBytes, image.format, to);
        return true;
    };
    const auto badIndex = [&](const uint8_t* from) {
        const uint32_t index = storedBytes == 1 ? from[0] : uint32_t(from[0] | from[1] << 8);
        return DecodeResult::Invalid("TGA colour-map index " + std::to_string(index) + " outside the map's entries " +
                                     std::to_string(h.mapFirst) + " to " + std::to_string(h.mapFirst + h.mapLength - 1));
    };

    // Straight into the image: the file's texels are never held unpacked.
    Placer placer(image, h.descriptor, outBytes);
    if (!h.RunLength()) {
        const uint8_t* from = data + file.Position();
        for (uint64_t i = 0; i < texels; ++i, from += storedBytes)
            if (!convert(from, placer.Next()))
                return badIndex(from);
        return {};
    }
    uint64_t left = texels;
    while (left > 0) {
        const uint8_t packet = file.U8();
        // A packet running past the last texel is cut there, as readers do.
        const uint64_t count = std::min<uint64_t>((packet & 0x7F) + 1u, left);
        const std::span<const uint8_t> stored = file.Bytes(packet & 0x80 ? storedBytes : size_t(count) * storedBytes);
        if (!file.Ok())
            return DecodeResult::Invalid("truncated TGA: its run-length packets end " + std::to_string(left) +
                                         " texels before the last");
        if (packet & 0x80) {
            uint8_t texel[4];
            if (!convert(stored.data(), texel))
                return badIndex(stored.data());
            for (uint64_t i = 0; i < count; ++i)
                std::memcpy(placer.Next(), texel, outBytes);
        } else {
            for (uint64_t i = 0; i < count; ++i)
                if (!convert(stored.data() + i * storedBytes, placer.Next()))
                    return badIndex(stored.data() + i * storedBytes);
        }
        left -= count;
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
