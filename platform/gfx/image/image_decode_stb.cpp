#include "platform/gfx/image/image_decode_stb.h"

#include <climits>
#include <memory>
#include <string>

#include "platform/gfx/device/format.h"

// The only place stb_image is compiled: TGA and BMP alone, from memory, with
// its symbols kept to this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>

static_assert(STBI_MAX_DIMENSIONS == gfx::kMaxImageSide);

namespace gfx {

DecodeResult DecodeWithStb(const uint8_t* data, size_t size, uint32_t width, uint32_t height, DecodedImage& out)
{
    if (size > size_t(INT_MAX))
        return DecodeResult::Invalid("image file of " + std::to_string(size) + " bytes is too large");
    int decodedWidth = 0;
    int decodedHeight = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
        stbi_load_from_memory(data, int(size), &decodedWidth, &decodedHeight, &channels, 4), stbi_image_free);
    if (!rgba) {
        const char* why = stbi_failure_reason();
        return DecodeResult::Invalid(std::string("image decoder: ") + (why != nullptr ? why : "failed"));
    }
    if (uint32_t(decodedWidth) != width || uint32_t(decodedHeight) != height)
        return DecodeResult::Invalid("image decoder gave " + std::to_string(decodedWidth) + " x " +
                                     std::to_string(decodedHeight) + " for a header of " + std::to_string(width) +
                                     " x " + std::to_string(height));

    const ImageFileType fileType = out.fileType;
    out.Clear();
    DecodedImage& image = out;
    image.fileType = fileType;
    image.format = kFormatA8R8G8B8;
    image.width = width;
    image.height = height;
    const uint64_t texels = uint64_t(width) * height;
    if (DecodeResult result = LayOutImage(image, texels * 4); !result.Ok())
        return result;
    // stb_image gives R, G, B, A bytes; A8R8G8B8 keeps B, G, R, A in memory.
    const stbi_uc* from = rgba.get();
    uint8_t* to = image.bytes.data();
    for (uint64_t i = 0; i < texels; ++i, from += 4, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = from[3];
    }
    return {};
}

} // namespace gfx
