// Fuzz target: texture files from memory through the entry point and through
// each of the three readers on its own, so every reader sees every input.
#include <cstddef>
#include <cstdint>

#include "platform/gfx/image/bmp_reader.h"
#include "platform/gfx/image/dds_reader.h"
#include "platform/gfx/image/image_decode.h"
#include "platform/gfx/image/tga_reader.h"

namespace {

// A decoded image must describe only bytes it holds.
void CheckImage(const gfx::DecodeResult& result, const gfx::DecodedImage& image)
{
    if (!result.Ok()) {
        if (result.reason.empty() || !image.bytes.empty())
            __builtin_trap();
        return;
    }
    if (image.subresources.size() != size_t(image.faces) * image.levels)
        __builtin_trap();
    size_t end = 0;
    for (const gfx::ImageSubresource& sub : image.subresources) {
        if (sub.offset != end || sub.size > image.bytes.size() - sub.offset || sub.width == 0 || sub.height == 0)
            __builtin_trap();
        end = sub.offset + sub.size;
    }
    if (end != image.bytes.size())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gfx::DecodedImage image;
    CheckImage(gfx::DecodeImage(data, size, image), image);
    CheckImage(gfx::ReadDds(data, size, image), image);
    CheckImage(gfx::ReadTga(data, size, image), image);
    CheckImage(gfx::ReadBmp(data, size, image), image);
    return 0;
}
