#include "jpeg_writer.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace image_files {

std::vector<uint8_t> WriteJpeg(uint32_t width, uint32_t height, uint32_t channels, const std::vector<uint8_t>& samples,
                               bool progressive, uint32_t scans)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = int(channels);
    info.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    std::vector<jpeg_scan_info> script;
    if (scans != 0) {
        // 63 AC coefficients: those past `split` share the last band; the
        // first `twice` come first at half precision and are then refined.
        const int ac = int(scans) - 1, twice = ac > 63 ? ac - 63 : 0, bands = ac - twice;
        script.push_back({1, {0}, 0, 0, 0, 0});
        for (int k = 1; k <= bands; ++k) {
            const int last = k == bands ? 63 : k;
            script.push_back({1, {0}, k, last, 0, k <= twice ? 1 : 0});
            if (k <= twice)
                script.push_back({1, {0}, k, last, 1, 0});
        }
        info.scan_info = script.data();
        info.num_scans = int(script.size());
    } else if (progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(&samples[size_t(info.next_scanline) * width * channels]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

} // namespace image_files
