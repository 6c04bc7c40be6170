#include "jpeg_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace image_files {

namespace {

constexpr uint8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The JPEG standard's example tables for luminance, used for every component.
constexpr uint8_t kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kAcBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr uint8_t kAcValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14,
    0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09,
    0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a,
    0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65,
    0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88,
    0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9,
    0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea,
    0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr int kQuantizer = 2; // every coefficient; fine enough for the test pictures

struct Code {
    uint16_t bits = 0;
    uint8_t length = 0;
};

std::array<Code, 256> MakeCodes(const uint8_t* counts, const uint8_t* values)
{
    std::array<Code, 256> codes{};
    uint16_t code = 0;
    size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < counts[length - 1]; ++i)
            codes[values[k++]] = {code++, uint8_t(length)};
        code = uint16_t(code << 1);
    }
    return codes;
}

class Bits {
public:
    explicit Bits(std::vector<uint8_t>& out) : out_(out) {}
    void Put(uint32_t bits, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            byte_ = uint8_t(byte_ << 1 | ((bits >> i) & 1));
            if (++count_ == 8)
                Emit();
        }
    }
    void Flush()
    {
        while (count_ != 0)
            Put(1, 1);
    }

private:
    void Emit()
    {
        out_.push_back(byte_);
        if (byte_ == 0xFF)
            out_.push_back(0);
        byte_ = 0;
        count_ = 0;
    }
    std::vector<uint8_t>& out_;
    uint8_t byte_ = 0;
    int count_ = 0;
};

int Category(int value)
{
    int magnitude = std::abs(value), length = 0;
    while (magnitude) {
        ++length;
        magnitude >>= 1;
    }
    return length;
}

void PutValue(Bits& bits, const std::array<Code, 256>& codes, int symbolHigh, int value)
{
    const int category = Category(value);
    const Code& code = codes[size_t(symbolHigh << 4 | category)];
    bits.Put(code.bits, code.length);
    if (category)
        bits.Put(uint32_t(value < 0 ? value + (1 << category) - 1 : value), category);
}

void PutDc(Bits& bits, const std::array<Code, 256>& dc, int difference)
{
    const int category = Category(difference);
    bits.Put(dc[size_t(category)].bits, dc[size_t(category)].length);
    if (category)
        bits.Put(uint32_t(difference < 0 ? difference + (1 << category) - 1 : difference), category);
}

void PutAc(Bits& bits, const std::array<Code, 256>& ac, const std::array<int, 64>& block)
{
    int zeros = 0;
    for (int k = 1; k < 64; ++k) {
        const int value = block[kZigzag[k]];
        if (value == 0) {
            ++zeros;
            continue;
        }
        while (zeros >= 16) {
            bits.Put(ac[0xF0].bits, ac[0xF0].length);
            zeros -= 16;
        }
        PutValue(bits, ac, zeros, value);
        zeros = 0;
    }
    if (zeros > 0)
        bits.Put(ac[0x00].bits, ac[0x00].length); // end of block
}

void Marker(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& body)
{
    out.push_back(0xFF);
    out.push_back(marker);
    const size_t length = body.size() + 2;
    out.push_back(uint8_t(length >> 8));
    out.push_back(uint8_t(length));
    out.insert(out.end(), body.begin(), body.end());
}

} // namespace

std::vector<uint8_t> WriteJpeg(uint32_t width, uint32_t height, uint32_t channels, const std::vector<uint8_t>& samples,
                               bool progressive)
{
    // Each component's quantized coefficients, block by block in rows.
    const uint32_t blocksWide = (width + 7) / 8, blocksHigh = (height + 7) / 8;
    std::vector<std::vector<std::array<int, 64>>> planes(channels);
    for (uint32_t c = 0; c < channels; ++c) {
        for (uint32_t by = 0; by < blocksHigh; ++by) {
            for (uint32_t bx = 0; bx < blocksWide; ++bx) {
                double texel[64];
                for (int i = 0; i < 64; ++i) {
                    const uint32_t x = std::min(bx * 8 + i % 8, width - 1), y = std::min(by * 8 + i / 8, height - 1);
                    const uint8_t* s = &samples[(size_t(y) * width + x) * channels];
                    double value = s[0];
                    if (channels == 3) {
                        const double r = s[0], g = s[1], b = s[2];
                        value = c == 0 ? 0.299 * r + 0.587 * g + 0.114 * b
                                : c == 1 ? -0.168736 * r - 0.331264 * g + 0.5 * b + 128
                                         : 0.5 * r - 0.418688 * g - 0.081312 * b + 128;
                    }
                    texel[i] = value - 128;
                }
                std::array<int, 64> block{};
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) {
                        double sum = 0;
                        for (int y = 0; y < 8; ++y)
                            for (int x = 0; x < 8; ++x)
                                sum += texel[y * 8 + x] * std::cos((2 * x + 1) * u * M_PI / 16) *
                                       std::cos((2 * y + 1) * v * M_PI / 16);
                        const double cu = u == 0 ? M_SQRT1_2 : 1, cv = v == 0 ? M_SQRT1_2 : 1;
                        block[size_t(v * 8 + u)] = int(std::lround(0.25 * cu * cv * sum / kQuantizer));
                    }
                }
                planes[c].push_back(block);
            }
        }
    }

    std::vector<uint8_t> out = {0xFF, 0xD8};
    std::vector<uint8_t> quant = {0};
    quant.insert(quant.end(), 64, uint8_t(kQuantizer));
    Marker(out, 0xDB, quant);
    std::vector<uint8_t> frame = {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                                  uint8_t(channels)};
    for (uint32_t c = 0; c < channels; ++c)
        frame.insert(frame.end(), {uint8_t(c + 1), 0x11, 0});
    Marker(out, progressive ? 0xC2 : 0xC0, frame);
    std::vector<uint8_t> tables = {0x00};
    tables.insert(tables.end(), kDcBits, kDcBits + 16);
    tables.insert(tables.end(), kDcValues, kDcValues + 12);
    tables.push_back(0x10);
    tables.insert(tables.end(), kAcBits, kAcBits + 16);
    tables.insert(tables.end(), kAcValues, kAcValues + 162);
    Marker(out, 0xC4, tables);
    const std::array<Code, 256> dc = MakeCodes(kDcBits, kDcValues), ac = MakeCodes(kAcBits, kAcValues);

    const auto scanHeader = [&](std::vector<uint32_t> components, uint8_t first, uint8_t last) {
        std::vector<uint8_t> body = {uint8_t(components.size())};
        for (uint32_t c : components)
            body.insert(body.end(), {uint8_t(c + 1), 0x00});
        body.insert(body.end(), {first, last, 0});
        Marker(out, 0xDA, body);
    };
    std::vector<uint32_t> all;
    for (uint32_t c = 0; c < channels; ++c)
        all.push_back(c);
    const size_t blocks = size_t(blocksWide) * blocksHigh;
    // Interleaved: every component's block in turn (one block each a unit).
    scanHeader(all, 0, progressive ? 0 : 63);
    {
        Bits bits(out);
        std::vector<int> previous(channels, 0);
        for (size_t b = 0; b < blocks; ++b) {
            for (uint32_t c = 0; c < channels; ++c) {
                PutDc(bits, dc, planes[c][b][0] - previous[c]);
                previous[c] = planes[c][b][0];
                if (!progressive)
                    PutAc(bits, ac, planes[c][b]);
            }
        }
        bits.Flush();
    }
    if (progressive) {
        for (uint32_t c = 0; c < channels; ++c) {
            scanHeader({c}, 1, 63);
            Bits bits(out);
            for (size_t b = 0; b < blocks; ++b)
                PutAc(bits, ac, planes[c][b]);
            bits.Flush();
        }
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

} // namespace image_files
