#include "image_file_writers.h"

#include <cstring>

namespace image_files {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// The texels in the order the file keeps its rows, as BGR or BGRA.
std::vector<uint8_t> StoredTexels(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra,
                                  uint32_t bytesPerTexel, bool topDown)
{
    std::vector<uint8_t> stored;
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t sourceRow = topDown ? row : height - 1 - row;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* texel = &bgra[(size_t(sourceRow) * width + x) * 4];
            stored.insert(stored.end(), texel, texel + bytesPerTexel);
        }
    }
    return stored;
}

} // namespace

std::vector<uint8_t> WriteTga(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra,
                              const TgaOptions& options)
{
    std::vector<uint8_t> out;
    out.push_back(options.idLength);
    out.push_back(0);                              // no colour map
    out.push_back(options.runLength ? 10 : 2);
    for (int i = 0; i < 5; ++i)
        out.push_back(0);                          // colour map description
    Put16(out, 0);                                 // x origin
    Put16(out, 0);                                 // y origin
    Put16(out, width);
    Put16(out, height);
    out.push_back(uint8_t(options.bits));
    out.push_back(uint8_t((options.bits == 32 ? 8 : 0) | (options.topDown ? 0x20 : 0)));
    for (uint8_t i = 0; i < options.idLength; ++i)
        out.push_back(uint8_t('a' + i % 26));

    const uint32_t size = options.bits / 8;
    const std::vector<uint8_t> stored = StoredTexels(width, height, bgra, size, options.topDown);
    if (!options.runLength) {
        out.insert(out.end(), stored.begin(), stored.end());
        return out;
    }
    // Runs of equal texels become repeat packets, the rest raw packets; packets
    // run across row ends as the format allows.
    const size_t texels = stored.size() / size;
    auto same = [&](size_t a, size_t b) { return std::memcmp(&stored[a * size], &stored[b * size], size) == 0; };
    size_t i = 0;
    while (i < texels) {
        size_t run = 1;
        while (i + run < texels && run < 128 && same(i, i + run))
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), &stored[i * size], &stored[i * size] + size);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < texels && raw < 128 && !(i + raw + 1 < texels && same(i + raw, i + raw + 1)))
            ++raw;
        out.push_back(uint8_t(raw - 1));
        out.insert(out.end(), &stored[i * size], &stored[(i + raw) * size]);
        i += raw;
    }
    return out;
}

std::vector<uint8_t> WriteBmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra,
                              const BmpOptions& options)
{
    const uint32_t size = options.bits / 8;
    const uint32_t rowBytes = (width * size + 3) & ~3u;
    const bool masksAfter = options.bitFields && options.infoSize == 40;
    const uint32_t texelsAt = 14 + options.infoSize + (masksAfter ? 12 : 0);

    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, texelsAt + rowBytes * height);
    Put32(out, 0);
    Put32(out, texelsAt);
    Put32(out, options.infoSize);
    if (options.infoSize == 12) {
        Put16(out, width);
        Put16(out, height);
        Put16(out, 1);
        Put16(out, options.bits);
    } else {
        Put32(out, width);
        Put32(out, options.topDown ? uint32_t(-int32_t(height)) : height);
        Put16(out, 1);
        Put16(out, options.bits);
        Put32(out, options.bitFields ? 3 : 0);
        Put32(out, rowBytes * height);
        Put32(out, 2835);
        Put32(out, 2835);
        Put32(out, 0);
        Put32(out, 0);
        if (options.infoSize > 40) {
            Put32(out, 0x00FF0000);
            Put32(out, 0x0000FF00);
            Put32(out, 0x000000FF);
            Put32(out, 0xFF000000);
            while (out.size() < 14 + options.infoSize)
                out.push_back(0);
        } else if (masksAfter) {
            Put32(out, 0x00FF0000);
            Put32(out, 0x0000FF00);
            Put32(out, 0x000000FF);
        }
    }
    const std::vector<uint8_t> stored = StoredTexels(width, height, bgra, size, options.topDown);
    for (uint32_t row = 0; row < height; ++row) {
        out.insert(out.end(), &stored[size_t(row) * width * size], &stored[size_t(row + 1) * width * size]);
        for (uint32_t pad = width * size; pad < rowBytes; ++pad)
            out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> TestPicture(uint32_t width, uint32_t height, bool withAlpha)
{
    std::vector<uint8_t> bgra;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            // Flat stretches on some rows give the run-length writer real runs.
            const bool flat = y % 3 == 0;
            bgra.push_back(uint8_t(flat ? 10 : x * 37 + y));
            bgra.push_back(uint8_t(flat ? 20 : y * 53 + 7));
            bgra.push_back(uint8_t(flat ? 30 : (x ^ y) * 11));
            bgra.push_back(withAlpha ? uint8_t(255 - x * 5 - y) : 255);
        }
    }
    return bgra;
}

} // namespace image_files
