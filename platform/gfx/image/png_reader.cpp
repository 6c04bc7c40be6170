#include "platform/gfx/image/png_reader.h"

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

// The only place stb_image is compiled: PNG alone, from memory, with its
// symbols kept to this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>

static_assert(STBI_MAX_DIMENSIONS == gfx::kMaxImageSide);

namespace gfx {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Deflate makes at most 1032 bytes of a byte it reads.
constexpr uint64_t kDeflateBytesPerByte = 1032;

struct Freed {
    void operator()(void* p) const { stbi_image_free(p); }
};

DecodeResult Failure(const char* kind)
{
    const char* why = stbi_failure_reason();
    if (why != nullptr && std::strcmp(why, "outofmem") == 0)
        return {DecodeStatus::OutOfMemory, std::string("not enough memory to decode the ") + kind + " file"};
    return DecodeResult::Invalid(std::string("damaged ") + kind + " file (" + (why != nullptr ? why : "no reason") + ")");
}

std::string Size(uint64_t width, uint64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

// The parts of a PNG's header its texels' format comes from, and the bytes of
// its compressed texels.
struct PngFacts {
    uint32_t width = 0, height = 0;
    uint32_t depth = 0, colourType = 0;
    bool interlaced = false;
    bool transparency = false; // a tRNS chunk
    uint64_t compressed = 0;   // bytes of all IDAT chunks
};

DecodeResult ReadPngFacts(const uint8_t* data, size_t size, PngFacts& facts)
{
    platform::ByteReader file(data, size);
    file.Skip(sizeof kPngSignature);
    bool header = false;
    while (file.Remaining() >= 12) {
        const std::span<const uint8_t> lengthBytes = file.Bytes(4);
        const uint32_t length = uint32_t(lengthBytes[0]) << 24 | lengthBytes[1] << 16 | lengthBytes[2] << 8 | lengthBytes[3];
        const std::string_view type = file.Chars(4);
        const std::span<const uint8_t> body = file.Bytes(length);
        file.Skip(4); // the chunk's checksum, which stb_image checks
        if (!file.Ok())
            return DecodeResult::Invalid("truncated PNG: its " + std::string(type) + " chunk of " + std::to_string(length) +
                                         " bytes passes the end of the file");
        const auto big = [&](size_t at) {
            return uint32_t(body[at]) << 24 | body[at + 1] << 16 | body[at + 2] << 8 | body[at + 3];
        };
        if (type == "IHDR" && length >= 13) {
            header = true;
            facts.width = big(0);
            facts.height = big(4);
            facts.depth = body[8];
            facts.colourType = body[9];
            facts.interlaced = body[12] != 0;
        } else if (type == "tRNS") {
            facts.transparency = true;
        } else if (type == "IDAT") {
            facts.compressed += length;
        } else if (type == "IEND") {
            break;
        }
    }
    if (!header)
        return DecodeResult::Invalid("PNG without its IHDR header");
    return {};
}

// Copies stb_image's R, G, B, A bytes as B, G, R, A.
void SwapRedAndBlue(const uint8_t* from, uint64_t texels, uint8_t* to)
{
    for (uint64_t i = 0; i < texels; ++i, from += 4, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = from[3];
    }
}

DecodeResult ReadPngInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    PngFacts facts;
    if (DecodeResult result = ReadPngFacts(data, size, facts); !result.Ok())
        return result;
    if (facts.width == 0 || facts.height == 0 || facts.width > kMaxImageSide || facts.height > kMaxImageSide)
        return DecodeResult::Invalid("PNG of " + Size(facts.width, facts.height) + " is not from 1 to " +
                                     std::to_string(kMaxImageSide) + " texels a side");
    const uint32_t samples = facts.colourType == 2 ? 3 : facts.colourType == 4 ? 2 : facts.colourType == 6 ? 4 : 1;
    // Every row is a filter byte and its samples; an interlaced image's passes
    // take a little more, at most a row of each of its seven passes.
    const uint64_t rowBytes = (uint64_t(facts.width) * samples * facts.depth + 7) / 8 + 1;
    const uint64_t raw = rowBytes * facts.height;
    if (raw > facts.compressed * kDeflateBytesPerByte + (facts.interlaced ? 7 * rowBytes : 0))
        return DecodeResult::Invalid("PNG of " + Size(facts.width, facts.height) + " cannot be in " +
                                     std::to_string(facts.compressed) + " bytes of compressed texels");

    const bool wide = facts.depth == 16 && facts.colourType != 3;
    const bool grey = facts.colourType == 0 || facts.colourType == 4;
    const bool alpha = facts.colourType == 4 || facts.colourType == 6 || facts.transparency;
    if (wide)
        image.format = grey && !alpha ? kFormatL16 : kFormatA16B16G16R16;
    else if (grey)
        image.format = alpha ? kFormatA8L8 : kFormatL8;
    else
        image.format = alpha ? kFormatA8R8G8B8 : kFormatX8R8G8B8;
    const int channels = image.format == kFormatL8 || image.format == kFormatL16 ? 1 : image.format == kFormatA8L8 ? 2 : 4;

    int width = 0, height = 0, stored = 0;
    std::unique_ptr<void, Freed> texels(
        wide ? static_cast<void*>(stbi_load_16_from_memory(data, int(size), &width, &height, &stored, channels))
             : static_cast<void*>(stbi_load_from_memory(data, int(size), &width, &height, &stored, channels)));
    if (!texels)
        return Failure("PNG");
    if (uint32_t(width) != facts.width || uint32_t(height) != facts.height)
        return DecodeResult::Invalid("PNG decoded as " + Size(width, height) + " for a header of " +
                                     Size(facts.width, facts.height));
    image.fileType = ImageFileType::Png;
    image.width = facts.width;
    image.height = facts.height;
    const uint64_t count = uint64_t(facts.width) * facts.height;
    if (DecodeResult result = LayOutImage(image, count * BytesPerTexel(image.format)); !result.Ok())
        return result;
    if (image.format == kFormatA8R8G8B8 || image.format == kFormatX8R8G8B8)
        SwapRedAndBlue(static_cast<const uint8_t*>(texels.get()), count, image.bytes.data());
    else // L8, A8L8 (grey, alpha), L16, A16B16G16R16 (red, green, blue, alpha): stb_image's own order
        std::memcpy(image.bytes.data(), texels.get(), image.bytes.size());
    return {};
}

} // namespace

bool LooksLikePng(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

DecodeResult ReadPng(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(
        [](const uint8_t* bytes, size_t length, DecodedImage& image) {
            if (bytes == nullptr || length == 0)
                return DecodeResult::Invalid("empty PNG file");
            if (length > size_t(INT_MAX))
                return DecodeResult::Invalid("PNG file of " + std::to_string(length) + " bytes is too large");
            if (!LooksLikePng(bytes, length))
                return DecodeResult::Invalid("not a PNG file");
            return ReadPngInto(bytes, length, image);
        },
        data, size, out);
}

} // namespace gfx
