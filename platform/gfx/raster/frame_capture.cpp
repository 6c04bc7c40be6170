#include "platform/gfx/raster/frame_capture.h"

#include <climits>
#include <vector>

// The only place stb_image_write is compiled, its symbols kept to this file.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace gfx::raster {

bool WritePng(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height, uint32_t pitch)
{
    if (width == 0 || height == 0 || width > INT_MAX / 3)
        return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* from = bgra + static_cast<size_t>(y) * pitch;
        uint8_t* to = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (uint32_t x = 0; x < width; ++x, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
    return stbi_write_png(path.c_str(), static_cast<int>(width), static_cast<int>(height), 3, rgb.data(),
                          static_cast<int>(width * 3)) != 0;
}

bool FrameCapture::Due(std::chrono::steady_clock::time_point now) const
{
    return !wroteAny_ || now - last_ >= std::chrono::seconds(1);
}

} // namespace gfx::raster
