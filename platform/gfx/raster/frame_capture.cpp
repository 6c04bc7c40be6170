#include "platform/gfx/raster/frame_capture.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
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

namespace {

void Append(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

// stb_image_write's own file writer takes no notice of a failed write or close,
// so the picture is written here.
bool WriteWhole(const std::string& path, const std::string& bytes, std::string& why)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        why = std::strerror(errno);
        return false;
    }
    int error = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        error = errno;
    if (std::fclose(file) != 0 && error == 0)
        error = errno;
    if (error != 0)
        why = std::strerror(error);
    return error == 0;
}

} // namespace

bool WritePng(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height, uint32_t pitch,
              std::string& why)
{
    if (width == 0 || height == 0 || width > INT_MAX / 3) {
        why = "no picture of that size";
        return false;
    }
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
    std::string png;
    if (!stbi_write_png_to_func(Append, &png, static_cast<int>(width), static_cast<int>(height), 3, rgb.data(),
                                static_cast<int>(width * 3))) {
        why = "the picture could not be encoded";
        return false;
    }
    return WriteWhole(path, png, why);
}

bool FrameCapture::Due(std::chrono::steady_clock::time_point now) const
{
    return !wroteAny_ || now - last_ >= std::chrono::seconds(1);
}

} // namespace gfx::raster
