#pragma once
// A PNG file read back as 8-bit RGB, for tests that look at captured frames.
#include <cstddef>
#include <string>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace zandrel_test {

struct PngPicture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    // False, the picture left empty, when the file is missing or not a PNG.
    bool Load(const std::string& path)
    {
        int channels = 0;
        unsigned char* data = stbi_load(path.c_str(), &width, &height, &channels, 3);
        if (!data) {
            width = height = 0;
            rgb.clear();
            return false;
        }
        rgb.assign(data, data + size_t(width) * size_t(height) * 3);
        stbi_image_free(data);
        return true;
    }
    const unsigned char* At(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
};

} // namespace zandrel_test
