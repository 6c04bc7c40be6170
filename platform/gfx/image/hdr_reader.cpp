#include "platform/gfx/image/hdr_reader.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

// A row of run-length texels takes at least its 4-byte start and, in each of
// its four channels, a run of at most 127 values for every two bytes; a flat
// row takes 4 bytes a texel.
uint64_t LeastRowBytes(uint32_t width)
{
    return width >= 8 && width <= 0x7FFF ? 4 + 4 * 2 * ((uint64_t(width) + 126) / 127) : 4 * uint64_t(width);
}
// Longest header line read; a line past it is damage.
constexpr size_t kLongestLine = 4096;

// A whole number after `prefix` at the front of `text`, both taken off it.
bool Number(std::string_view& text, std::string_view prefix, uint32_t& value)
{
    if (text.substr(0, prefix.size()) != prefix)
        return false;
    text.remove_prefix(prefix.size());
    size_t at = 0;
    uint64_t number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        number = number * 10 + uint32_t(text[at++] - '0');
        if (number > 0xFFFFFFFFu)
            return false;
    }
    if (at == 0)
        return false;
    value = uint32_t(number);
    text.remove_prefix(at);
    return true;
}

float Channel(uint8_t mantissa, uint8_t exponent)
{
    return exponent == 0 ? 0.0f : std::ldexp(float(mantissa), int(exponent) - 136);
}

DecodeResult ReadHdrInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikeHdr(data, size))
        return DecodeResult::Invalid("not an HDR file");
    // The header: lines up to an empty one.
    size_t at = 0;
    std::string_view format = "32-bit_rle_rgbe";
    const auto nextLine = [&](std::string_view& line) {
        const size_t start = at;
        while (at < size && data[at] != '\n') {
            if (at - start > kLongestLine)
                return false;
            ++at;
        }
        if (at >= size)
            return false;
        line = std::string_view(reinterpret_cast<const char*>(data) + start, at - start);
        ++at;
        return true;
    };
    std::string_view line;
    nextLine(line); // the "#?RADIANCE" line
    for (;;) {
        if (!nextLine(line))
            return DecodeResult::Invalid("truncated HDR header (no empty line before the resolution)");
        if (line.empty())
            break;
        if (line.substr(0, 7) == "FORMAT=")
            format = line.substr(7);
    }
    if (format != "32-bit_rle_rgbe")
        return DecodeResult::Invalid("HDR texels in the format '" + std::string(format.substr(0, 64)) +
                                     "' are not read (32-bit_rle_rgbe alone)");
    if (!nextLine(line))
        return DecodeResult::Invalid("truncated HDR header (no resolution line)");
    uint32_t width = 0, height = 0;
    std::string_view rest = line;
    if (!Number(rest, "-Y ", height) || !Number(rest, " +X ", width) || !rest.empty())
        return DecodeResult::Invalid("HDR resolution line '" + std::string(line.substr(0, 64)) +
                                     "' is not \"-Y height +X width\"");
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide)
        return DecodeResult::Invalid("HDR of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " is not from 1 to " + std::to_string(kMaxImageSide) + " texels a side");
    const uint64_t texels = uint64_t(width) * height;
    if (LeastRowBytes(width) * height > uint64_t(size - at))
        return DecodeResult::Invalid("HDR of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " cannot be in " + std::to_string(size - at) + " bytes (its rows take at least " +
                                     std::to_string(LeastRowBytes(width)) + " bytes each)");

    image.fileType = ImageFileType::Hdr;
    image.format = kFormatA32B32G32R32F;
    image.width = width;
    image.height = height;
    if (DecodeResult result = LayOutImage(image, texels * 16); !result.Ok())
        return result;
    std::vector<uint8_t> row(size_t(width) * 4);
    platform::ByteReader file(data + at, size - at);
    float* out = reinterpret_cast<float*>(image.bytes.data());
    for (uint32_t y = 0; y < height; ++y) {
        const std::span<const uint8_t> first = file.Bytes(4);
        if (!file.Ok())
            return DecodeResult::Invalid("truncated HDR: its texels end at row " + std::to_string(y) + " of " +
                                         std::to_string(height));
        const bool runs = width >= 8 && width <= 0x7FFF && first[0] == 2 && first[1] == 2 && (first[2] & 0x80) == 0;
        if (!runs) {
            // A flat row: four bytes a texel, the first four already read.
            std::memcpy(row.data(), first.data(), 4);
            if (!file.CopyTo(row.data() + 4, row.size() - 4))
                return DecodeResult::Invalid("truncated HDR: its texels end in row " + std::to_string(y));
        } else {
            if ((uint32_t(first[2]) << 8 | first[3]) != width)
                return DecodeResult::Invalid("HDR row " + std::to_string(y) + " says it holds " +
                                             std::to_string(uint32_t(first[2]) << 8 | first[3]) + " texels, not " +
                                             std::to_string(width));
            for (uint32_t c = 0; c < 4; ++c) {
                uint32_t x = 0;
                while (x < width) {
                    const uint8_t count = file.U8();
                    const bool run = count > 128;
                    const uint32_t values = run ? count - 128u : count;
                    if (!file.Ok() || values == 0 || values > width - x)
                        return DecodeResult::Invalid(file.Ok() ? "damaged HDR: a run of " + std::to_string(values) +
                                                                     " values where " + std::to_string(width - x) +
                                                                     " remain in row " + std::to_string(y)
                                                               : "truncated HDR: its runs end in row " + std::to_string(y));
                    if (run) {
                        const uint8_t value = file.U8();
                        for (uint32_t i = 0; i < values; ++i)
                            row[size_t(x++) * 4 + c] = value;
                    } else {
                        const std::span<const uint8_t> literal = file.Bytes(values);
                        for (uint32_t i = 0; file.Ok() && i < values; ++i)
                            row[size_t(x++) * 4 + c] = literal[i];
                    }
                    if (!file.Ok())
                        return DecodeResult::Invalid("truncated HDR: its runs end in row " + std::to_string(y));
                }
            }
        }
        for (uint32_t x = 0; x < width; ++x, out += 4) {
            const uint8_t* rgbe = &row[size_t(x) * 4];
            out[0] = Channel(rgbe[0], rgbe[3]);
            out[1] = Channel(rgbe[1], rgbe[3]);
            out[2] = Channel(rgbe[2], rgbe[3]);
            out[3] = 1.0f;
        }
    }
    return {};
}

} // namespace

bool LooksLikeHdr(const uint8_t* data, size_t size)
{
    const auto startsWith = [&](const char* text) {
        const size_t length = std::strlen(text);
        return size >= length && std::memcmp(data, text, length) == 0;
    };
    return data != nullptr && (startsWith("#?RADIANCE\n") || startsWith("#?RGBE\n"));
}

DecodeResult ReadHdr(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadHdrInto, data, size, out);
}

} // namespace gfx
