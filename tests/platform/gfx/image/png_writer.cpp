#include "png_writer.h"

#include <zlib.h>

#include <string>

namespace image_files {

namespace {

// Channels a texel of each colour type.
constexpr uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};

void Big32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body)
{
    Big32(out, uint32_t(body.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    Big32(out, uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
}

// The rows of one (sub)image, each after its filter byte: none on even rows,
// "sub" on odd rows, so the decoder undoes one filter at least.
void Rows(std::vector<uint8_t>& raw, const std::vector<uint16_t>& samples, uint32_t width, uint32_t channels,
          uint32_t depth, uint32_t x0, uint32_t y0, uint32_t dx, uint32_t dy, uint32_t fullWidth, uint32_t height)
{
    const uint32_t bytesPerTexel = depth >= 8 ? channels * depth / 8 : 1;
    uint32_t row = 0;
    for (uint32_t y = y0; y < height; y += dy, ++row) {
        std::vector<uint8_t> line;
        uint32_t bitAt = 0;
        for (uint32_t x = x0; x < width; x += dx) {
            for (uint32_t c = 0; c < channels; ++c) {
                const uint16_t value = samples[(size_t(y) * fullWidth + x) * channels + c];
                if (depth == 16) {
                    line.push_back(uint8_t(value >> 8));
                    line.push_back(uint8_t(value));
                } else if (depth == 8) {
                    line.push_back(uint8_t(value));
                } else {
                    if (bitAt % 8 == 0)
                        line.push_back(0);
                    line.back() |= uint8_t(value << (8 - depth - bitAt % 8));
                    bitAt += depth;
                }
            }
        }
        if (line.empty())
            return;
        const bool sub = row % 2 == 1;
        raw.push_back(sub ? 1 : 0);
        for (size_t i = 0; i < line.size(); ++i)
            raw.push_back(sub && i >= bytesPerTexel ? uint8_t(line[i] - line[i - bytesPerTexel]) : line[i]);
    }
}

} // namespace

std::vector<uint8_t> WritePng(uint32_t width, uint32_t height, const std::vector<uint16_t>& samples,
                              const PngOptions& options)
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    Big32(header, width);
    Big32(header, height);
    header.push_back(uint8_t(options.depth));
    header.push_back(uint8_t(options.colourType));
    header.push_back(0);
    header.push_back(0);
    header.push_back(options.interlaced ? 1 : 0);
    Chunk(out, "IHDR", header);
    if (!options.palette.empty())
        Chunk(out, "PLTE", options.palette);
    if (!options.transparency.empty())
        Chunk(out, "tRNS", options.transparency);

    const uint32_t channels = kChannels[options.colourType];
    std::vector<uint8_t> raw;
    if (!options.interlaced) {
        Rows(raw, samples, width, channels, options.depth, 0, 0, 1, 1, width, height);
    } else {
        const uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& pass : passes)
            Rows(raw, samples, width, channels, options.depth, pass[0], pass[1], pass[2], pass[3], width, height);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9);
    packed.resize(packedSize);
    Chunk(out, "IDAT", packed);
    Chunk(out, "IEND", {});
    return out;
}

} // namespace image_files
