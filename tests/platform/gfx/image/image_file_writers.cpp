#include "image_file_writers.h"

#include <cstring>

#include "platform/bytes/byte_writer.h"

namespace image_files {

namespace {

// Bytes of `texelBytes` each, rows from the top, put in the order a file keeps.
std::vector<uint8_t> Reordered(uint32_t width, uint32_t height, const std::vector<uint8_t>& stored,
                               uint32_t texelBytes, bool topDown, bool rightToLeft)
{
    std::vector<uint8_t> out;
    out.reserve(stored.size());
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = topDown ? row : height - 1 - row;
        for (uint32_t column = 0; column < width; ++column) {
            const uint32_t x = rightToLeft ? width - 1 - column : column;
            const uint8_t* texel = &stored[(size_t(y) * width + x) * texelBytes];
            out.insert(out.end(), texel, texel + texelBytes);
        }
    }
    return out;
}

// Splits `count` values into runs of at least `minRun` equal ones (or of any
// length where fewer than `minLiteral` remain) and literal stretches, each
// stretch ending where such a run starts: the shape of TGA packets, BMP's RLE
// and Radiance's run-length rows alike.
template <class Same, class Run, class Literal>
void Runs(size_t count, size_t minRun, size_t mostRun, size_t minLiteral, size_t mostLiteral, Same same, Run run,
          Literal literal)
{
    const auto runStarts = [&](size_t at) {
        for (size_t k = 1; k < minRun; ++k)
            if (at + k >= count || !same(at, at + k))
                return false;
        return true;
    };
    for (size_t i = 0, length; i < count; i += length) {
        length = 1;
        while (i + length < count && length < mostRun && same(i, i + length))
            ++length;
        if (length >= minRun || count - i < minLiteral) {
            run(i, length);
            continue;
        }
        length = minLiteral;
        while (i + length < count && length < mostLiteral && !runStarts(i + length))
            ++length;
        literal(i, length);
    }
}

// TGA packets: runs of equal texels as repeat packets, the rest as raw
// packets, running across row ends as the format allows.
void TgaPackets(platform::ByteWriter& out, const std::vector<uint8_t>& stored, size_t size)
{
    const auto at = [&](size_t i) { return &stored[i * size]; };
    Runs(
        stored.size() / size, 2, 128, 1, 128, [&](size_t a, size_t b) { return std::memcmp(at(a), at(b), size) == 0; },
        [&](size_t i, size_t n) {
            out.U8(uint8_t(0x80 | (n - 1)));
            out.Bytes(at(i), size);
        },
        [&](size_t i, size_t n) {
            out.U8(uint8_t(n - 1));
            out.Bytes(at(i), n * size);
        });
}

// One row of colour-table indices in RLE8 or RLE4: repeats as encoded runs,
// the rest as literal runs (of at least three, as the format wants).
void RleRow(platform::ByteWriter& out, const uint8_t* row, uint32_t width, bool four)
{
    Runs(
        width, 3, 255, 3, 254, [&](size_t a, size_t b) { return row[a] == row[b]; },
        [&](size_t i, size_t n) {
            out.U8(uint8_t(n));
            out.U8(four ? uint8_t(row[i] << 4 | row[i]) : row[i]);
        },
        [&](size_t i, size_t n) {
            out.U8(0);
            out.U8(uint8_t(n));
            const size_t bytes = four ? (n + 1) / 2 : n;
            for (size_t k = 0; k < bytes; ++k)
                out.U8(four ? uint8_t(row[i + 2 * k] << 4 | (2 * k + 1 < n ? row[i + 2 * k + 1] : 0)) : row[i + k]);
            if (bytes % 2)
                out.U8(0);
        });
}

} // namespace

std::vector<uint8_t> WriteTga(uint32_t width, uint32_t height, const std::vector<uint8_t>& stored,
                              const TgaOptions& options)
{
    platform::ByteWriter out;
    const bool mapped = !options.map.empty();
    const uint32_t entryBytes = (options.mapBits + 7) / 8;
    out.U8(options.idLength);
    out.U8(mapped ? 1 : 0);
    out.U8(uint8_t(options.type + (options.runLength ? 8 : 0)));
    out.U16(options.mapFirst);
    out.U16(uint16_t(mapped ? options.map.size() / entryBytes : 0));
    out.U8(uint8_t(options.mapBits));
    out.U16(0); // x origin
    out.U16(0); // y origin
    out.U16(uint16_t(width));
    out.U16(uint16_t(height));
    out.U8(uint8_t(options.bits));
    out.U8(uint8_t(options.alphaBits | (options.topDown ? 0x20 : 0) | (options.rightToLeft ? 0x10 : 0)));
    for (uint8_t i = 0; i < options.idLength; ++i)
        out.U8(uint8_t('a' + i % 26));
    out.Bytes(options.map);

    const uint32_t size = (options.bits + 7) / 8;
    const std::vector<uint8_t> texels = Reordered(width, height, stored, size, options.topDown, options.rightToLeft);
    if (options.runLength)
        TgaPackets(out, texels, size);
    else
        out.Bytes(texels);
    return out.Take();
}

std::vector<uint8_t> WriteBmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& stored,
                              const BmpOptions& options)
{
    const bool runLength = options.compression == 1 || options.compression == 2;
    const bool indexed = options.bits <= 8;
    const uint32_t rowBytes = (width * options.bits + 31) / 32 * 4;
    std::vector<uint8_t> texels;
    {
        platform::ByteWriter rows;
        for (uint32_t row = 0; row < height; ++row) {
            const uint32_t y = options.topDown ? row : height - 1 - row;
            if (runLength) {
                const uint8_t* indices = &stored[size_t(y) * width];
                const bool last = row + 1 == height;
                if (last && options.skipWithDelta && width > 1) {
                    RleRow(rows, indices, 1, options.compression == 2);
                    rows.U8(0);
                    rows.U8(2); // jump right past the rest of the row: those texels keep index 0
                    rows.U8(uint8_t(width - 1));
                    rows.U8(0);
                    continue;
                }
                RleRow(rows, indices, width, options.compression == 2);
                rows.U8(0);
                rows.U8(last ? 1 : 0);
                continue;
            }
            std::vector<uint8_t> line(rowBytes, 0);
            if (indexed) {
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t bit = x * options.bits;
                    line[bit / 8] |= uint8_t(stored[size_t(y) * width + x] << (8 - options.bits - bit % 8));
                }
            } else {
                const uint32_t size = options.bits / 8;
                std::memcpy(line.data(), &stored[size_t(y) * width * size], size_t(width) * size);
            }
            rows.Bytes(line);
        }
        if (runLength && options.skipWithDelta) {
            rows.U8(0);
            rows.U8(1);
        }
        texels = rows.Take();
    }

    const bool masksAfter = options.infoSize == 40 && (options.compression == 3 || options.compression == 6);
    const uint32_t maskBytes = masksAfter ? (options.compression == 6 ? 16 : 12) : 0;
    const uint32_t fileHeader = options.dib ? 0 : 14;
    const uint32_t texelsAt = fileHeader + options.infoSize + maskBytes + uint32_t(options.table.size());

    platform::ByteWriter out;
    if (!options.dib) {
        out.Chars("BM");
        out.U32(texelsAt + uint32_t(texels.size()));
        out.U32(0);
        out.U32(texelsAt);
    }
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
        if (options.infoSize >= 40) {
            out.U32(options.compression);
            out.U32(uint32_t(texels.size()));
            out.U32(2835);
            out.U32(2835);
            out.U32(options.colours);
            out.U32(0);
            const uint32_t written = options.infoSize > 40 ? (options.infoSize >= 56 ? 4 : 3) : masksAfter ? maskBytes / 4 : 0;
            for (uint32_t i = 0; i < written && i < 4; ++i)
                out.U32(options.masks[i]);
        }
        out.Zeros(fileHeader + options.infoSize + maskBytes - out.Size());
    }
    out.Bytes(options.table);
    out.Bytes(texels);
    return out.Take();
}

std::vector<uint8_t> WritePnm(char kind, uint32_t width, uint32_t height, uint32_t maximum,
                              const std::vector<uint32_t>& samples, const std::string& comment)
{
    platform::ByteWriter out;
    const bool bitmap = kind == '1' || kind == '4';
    const bool text = kind <= '3';
    std::string header = std::string("P") + kind + "\n";
    if (!comment.empty())
        header += "# " + comment + "\n";
    header += std::to_string(width) + " " + std::to_string(height) + "\n";
    if (!bitmap)
        header += std::to_string(maximum) + "\n";
    out.Chars(header);
    const uint32_t channels = kind == '3' || kind == '6' ? 3 : 1;
    for (uint32_t y = 0; y < height; ++y) {
        std::vector<uint8_t> bits((width + 7) / 8, 0);
        for (uint32_t x = 0; x < width; ++x) {
            for (uint32_t c = 0; c < channels; ++c) {
                const uint32_t value = samples[(size_t(y) * width + x) * channels + c];
                if (text) {
                    out.Chars(std::to_string(value) + (x + 1 == width && c + 1 == channels ? "\n" : " "));
                } else if (bitmap) {
                    bits[x / 8] |= uint8_t(value << (7 - x % 8));
                } else if (maximum > 255) {
                    out.U8(uint8_t(value >> 8));
                    out.U8(uint8_t(value));
                } else {
                    out.U8(uint8_t(value));
                }
            }
        }
        if (bitmap && !text)
            out.Bytes(bits);
    }
    return out.Take();
}

std::vector<uint8_t> WritePfm(uint32_t width, uint32_t height, uint32_t channels, const std::vector<float>& values,
                              bool littleEndian)
{
    platform::ByteWriter out;
    out.Chars(std::string(channels == 3 ? "PF" : "Pf") + "\n" + std::to_string(width) + " " + std::to_string(height) +
              "\n" + (littleEndian ? "-1.0" : "1.0") + "\n");
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = height - 1 - row;
        for (uint32_t i = 0; i < width * channels; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &values[size_t(y) * width * channels + i], 4);
            for (int b = 0; b < 4; ++b)
                out.U8(uint8_t(bits >> (littleEndian ? 8 * b : 24 - 8 * b)));
        }
    }
    return out.Take();
}

std::vector<uint8_t> WriteHdr(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgbe, bool runLength)
{
    platform::ByteWriter out;
    out.Chars("#?RADIANCE\n# written by a test\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " +
              std::to_string(width) + "\n");
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &rgbe[size_t(y) * width * 4];
        if (!runLength) {
            out.Bytes(row, size_t(width) * 4);
            continue;
        }
        out.U8(2);
        out.U8(2);
        out.U8(uint8_t(width >> 8));
        out.U8(uint8_t(width));
        for (uint32_t c = 0; c < 4; ++c) {
            const auto value = [&](size_t x) { return row[4 * x + c]; };
            Runs(
                width, 3, 127, 1, 128, [&](size_t a, size_t b) { return value(a) == value(b); },
                [&](size_t x, size_t n) {
                    out.U8(uint8_t(128 + n));
                    out.U8(value(x));
                },
                [&](size_t x, size_t n) {
                    out.U8(uint8_t(n));
                    for (size_t i = 0; i < n; ++i)
                        out.U8(value(x + i));
                });
        }
    }
    return out.Take();
}

std::vector<uint8_t> TestPicture(uint32_t width, uint32_t height, bool withAlpha)
{
    std::vector<uint8_t> bgra;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            // Flat stretches on some rows give the run-length writers real runs.
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
