#include "platform/gfx/image/pnm_reader.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

bool Space(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool Digit(uint8_t c) { return c >= '0' && c <= '9'; }

// The words of a header (and of a text file's samples), with the comments
// from '#' to the line's end passed over.
class Words {
public:
    Words(const uint8_t* data, size_t size, size_t at) : data_(data), size_(size), at_(at) {}

    size_t At() const { return at_; }
    size_t Remaining() const { return size_ - at_; }

    void SkipSpace()
    {
        while (at_ < size_) {
            if (data_[at_] == '#') {
                while (at_ < size_ && data_[at_] != '\n' && data_[at_] != '\r')
                    ++at_;
            } else if (Space(data_[at_])) {
                ++at_;
            } else {
                return;
            }
        }
    }
    // A whole number of at most `most`; false when there is none or it is larger.
    bool Number(uint32_t most, uint32_t& value)
    {
        SkipSpace();
        if (at_ >= size_ || !Digit(data_[at_]))
            return false;
        uint64_t number = 0;
        while (at_ < size_ && Digit(data_[at_])) {
            number = number * 10 + (data_[at_++] - '0');
            if (number > most)
                return false;
        }
        value = uint32_t(number);
        return true;
    }
    // One binary digit of a PBM text, which needs no space between digits.
    bool Bit(uint32_t& value)
    {
        SkipSpace();
        if (at_ >= size_ || (data_[at_] != '0' && data_[at_] != '1'))
            return false;
        value = data_[at_++] - '0';
        return true;
    }
    bool Real(double& value)
    {
        SkipSpace();
        char text[64];
        size_t length = 0;
        while (at_ < size_ && !Space(data_[at_]) && length + 1 < sizeof text)
            text[length++] = char(data_[at_++]);
        text[length] = 0;
        char* end = nullptr;
        value = std::strtod(text, &end);
        return length > 0 && end == text + length;
    }
    // The one whitespace character between a binary file's header and its samples.
    bool EndOfHeader()
    {
        if (at_ >= size_ || !Space(data_[at_]))
            return false;
        ++at_;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_;
};

std::string Size(uint32_t width, uint32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

DecodeResult ReadSizes(Words& words, const char* kind, uint32_t& width, uint32_t& height)
{
    if (!words.Number(kMaxImageSide, width) || !words.Number(kMaxImageSide, height))
        return DecodeResult::Invalid(std::string(kind) + " header without a size of at most " +
                                     std::to_string(kMaxImageSide) + " texels a side");
    if (width == 0 || height == 0)
        return DecodeResult::Invalid(std::string(kind) + " of " + Size(width, height) + " has no texels");
    return {};
}

DecodeResult ReadPnmInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikePnm(data, size))
        return DecodeResult::Invalid("not a PPM, PGM or PBM file");
    const char kind = char(data[1]);
    const bool text = kind <= '3';
    const bool bitmap = kind == '1' || kind == '4';
    const uint32_t channels = kind == '3' || kind == '6' ? 3 : 1;
    const char* name = bitmap ? "PBM" : channels == 3 ? "PPM" : "PGM";
    Words words(data, size, 2);
    uint32_t width = 0, height = 0, maximum = 1;
    if (DecodeResult result = ReadSizes(words, name, width, height); !result.Ok())
        return result;
    if (!bitmap && (!words.Number(65535, maximum) || maximum == 0))
        return DecodeResult::Invalid(std::string(name) + " header without a largest sample from 1 to 65535");
    if (!text && !words.EndOfHeader())
        return DecodeResult::Invalid(std::string(name) + " header does not end in a space before the samples");

    const uint64_t texels = uint64_t(width) * height;
    const uint64_t samples = texels * channels;
    const uint32_t sampleBytes = maximum > 255 ? 2 : 1;
    const uint64_t rowBytes = bitmap ? (width + 7u) / 8u : uint64_t(width) * channels * sampleBytes;
    // A text sample takes at least a character and a space (a PBM digit only the character).
    const uint64_t least = text ? (bitmap ? samples : samples * 2 - 1) : rowBytes * height;
    if (words.Remaining() < least)
        return DecodeResult::Invalid("truncated " + std::string(name) + ": " + Size(width, height) + " texels need " +
                                     (text ? "at least " : "") + std::to_string(least) + " bytes, the file holds " +
                                     std::to_string(words.Remaining()));

    const bool wide = sampleBytes == 2;
    image.fileType = ImageFileType::Pnm;
    image.width = width;
    image.height = height;
    image.format = channels == 3 ? (wide ? kFormatA16B16G16R16 : kFormatX8R8G8B8) : (wide ? kFormatL16 : kFormatL8);
    if (DecodeResult result = LayOutImage(image, texels * BytesPerTexel(image.format)); !result.Ok())
        return result;

    // Samples scaled from the file's largest to the format's.
    const uint32_t top = wide ? 65535 : 255;
    const auto scale = [&](uint32_t value) {
        if (value >= maximum)
            return top;
        return maximum == top ? value : uint32_t((uint64_t(value) * top + maximum / 2) / maximum);
    };
    const uint8_t* binary = data + words.At();
    uint8_t* out = image.bytes.data();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t value[3] = {0, 0, 0};
            for (uint32_t c = 0; c < channels; ++c) {
                bool read = true;
                if (bitmap && text)
                    read = words.Bit(value[c]);
                else if (text)
                    read = words.Number(65535, value[c]);
                else if (bitmap)
                    value[c] = (binary[size_t(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
                else if (wide)
                    value[c] = uint32_t(binary[0] << 8 | binary[1]), binary += 2; // big-endian
                else
                    value[c] = *binary++;
                if (!read)
                    return DecodeResult::Invalid("text " + std::string(name) + " ends or holds a word that is no sample before its texel " +
                                                 std::to_string(uint64_t(y) * width + x) + " of " + std::to_string(texels));
                // A PBM's 1 is black.
                value[c] = bitmap ? (value[c] ? 0 : 255) : scale(value[c]);
            }
            if (channels == 1) {
                if (wide) {
                    out[0] = uint8_t(value[0]);
                    out[1] = uint8_t(value[0] >> 8);
                    out += 2;
                } else {
                    *out++ = uint8_t(value[0]);
                }
            } else if (wide) {
                const uint32_t rgba[4] = {value[0], value[1], value[2], 65535};
                for (uint32_t v : rgba) {
                    *out++ = uint8_t(v);
                    *out++ = uint8_t(v >> 8);
                }
            } else {
                *out++ = uint8_t(value[2]);
                *out++ = uint8_t(value[1]);
                *out++ = uint8_t(value[0]);
                *out++ = 0xFF;
            }
        }
    }
    return {};
}

DecodeResult ReadPfmInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikePfm(data, size))
        return DecodeResult::Invalid("not a PFM file");
    const uint32_t channels = data[1] == 'F' ? 3 : 1;
    Words words(data, size, 2);
    uint32_t width = 0, height = 0;
    if (DecodeResult result = ReadSizes(words, "PFM", width, height); !result.Ok())
        return result;
    double scale = 0.0;
    if (!words.Real(scale) || scale == 0.0 || !words.EndOfHeader())
        return DecodeResult::Invalid("PFM header without a scale (other than 0) and a space after it");
    const bool littleEndian = scale < 0.0;

    const uint64_t texels = uint64_t(width) * height;
    const uint64_t need = texels * channels * 4;
    if (words.Remaining() < need)
        return DecodeResult::Invalid("truncated PFM: " + Size(width, height) + " texels need " + std::to_string(need) +
                                     " bytes, the file holds " + std::to_string(words.Remaining()));
    image.fileType = ImageFileType::Pfm;
    image.width = width;
    image.height = height;
    image.format = channels == 3 ? kFormatA32B32G32R32F : kFormatR32F;
    if (DecodeResult result = LayOutImage(image, texels * BytesPerTexel(image.format)); !result.Ok())
        return result;
    const uint8_t* from = data + words.At();
    const uint32_t outChannels = channels == 3 ? 4 : 1;
    // Rows are stored from the bottom.
    for (uint32_t row = 0; row < height; ++row) {
        uint8_t* out = image.bytes.data() + size_t(height - 1 - row) * width * outChannels * 4;
        for (uint32_t x = 0; x < width; ++x) {
            for (uint32_t c = 0; c < channels; ++c, from += 4, out += 4) {
                const uint32_t bits = littleEndian ? uint32_t(from[0] | from[1] << 8 | from[2] << 16 | uint32_t(from[3]) << 24)
                                                   : uint32_t(uint32_t(from[0]) << 24 | from[1] << 16 | from[2] << 8 | from[3]);
                std::memcpy(out, &bits, 4);
            }
            if (channels == 3) {
                const float one = 1.0f;
                std::memcpy(out, &one, 4);
                out += 4;
            }
        }
    }
    return {};
}

} // namespace

bool LooksLikePnm(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' &&
           (Space(data[2]) || data[2] == '#');
}

bool LooksLikePfm(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= 3 && data[0] == 'P' && (data[1] == 'F' || data[1] == 'f') && Space(data[2]);
}

DecodeResult ReadPnm(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadPnmInto, data, size, out);
}

DecodeResult ReadPfm(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadPfmInto, data, size, out);
}

} // namespace gfx
