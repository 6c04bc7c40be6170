#include "image_file_writers.h"

#include <cstring>

#include "platform/bytes/byte_writer.h"

namespace image_files {

namespace {

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
    platform::ByteWriter out;
    out.U8(options.idLength);
    out.U8(0);                       // no colour map
    out.U8(options.runLength ? 10 : 2);
    out.Zeros(5);                    // colour map description
    out.U16(0);                      // x origin
    out.U16(0);                      // y origin
    out.U16(uint16_t(width));
    out.U16(uint16_t(height));
    out.U8(uint8_t(options.bits));
    out.U8(uint8_t((options.bits == 32 ? 8 : 0) | (options.topDown ? 0x20 : 0)));
    for (uint8_t i = 0; i < options.idLength; ++i)
        out.U8(uint8_t('a' + i % 26));

    const uint32_t size = options.bits / 8;
    const std::vector<uint8_t> stored = StoredTexels(width, height, bgra, size, options.topDown);
    if (!options.runLength) {
        out.Bytes(stored);
        return out.Take();
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
            out.U8(uint8_t(0x80 | (run - 1)));
            out.Bytes(&stored[i * size], size);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < texels && raw < 128 && !(i + raw + 1 < texels && same(i + raw, i + raw + 1)))
            ++raw;
        out.U8(uint8_t(raw - 1));
        out.Bytes(&stored[i * size], raw * size);
        i += raw;
    }
    return out.Take();
}

std::vector<uint8_t> WriteBmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& bgra,
                              const BmpOptions& options)
{
    const uint32_t size = options.bits / 8;
    const uint32_t rowBytes = (width * size + 3) & ~3u;
    const bool masksAfter = options.bitFields && options.infoSize == 40;
    const uint32_t texelsAt = 14 + options.infoSize + (masksAfter ? 12 : 0);

    platform::ByteWriter out;
    out.U8('B');
    out.U8('M');
    out.U32(texelsAt + rowBytes * height);
    out.U32(0);
    out.U32(texelsAt);
    out.U32(options.infoSize);
    if (options.infoSize == 12) {
        out.U16(uint16_t(width));
        out.U16(uint16_t(height));
        out.U16(1);
        out.U16(uint16_t(options.bits));
    } else {
        out.U32(width);
        out.U32(options.topDown ? uint32_t(-int32_t(height)) : height);
        out.U16(1);
        out.U16(uint16_t(options.bits));
        out.U32(options.bitFields ? 3 : 0);
        out.U32(rowBytes * height);
        out.U32(2835);
        out.U32(2835);
        out.U32(0);
        out.U32(0);
        if (options.infoSize > 40) {
            out.U32(0x00FF0000);
            out.U32(0x0000FF00);
            out.U32(0x000000FF);
            out.U32(0xFF000000);
            out.Zeros(14 + options.infoSize - out.Size());
        } else if (masksAfter) {
            out.U32(0x00FF0000);
            out.U32(0x0000FF00);
            out.U32(0x000000FF);
        }
    }
    const std::vector<uint8_t> stored = StoredTexels(width, height, bgra, size, options.topDown);
    for (uint32_t row = 0; row < height; ++row) {
        out.Bytes(&stored[size_t(row) * width * size], size_t(width) * size);
        out.Zeros(rowBytes - width * size);
    }
    return out.Take();
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
