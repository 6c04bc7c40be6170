#include "platform/gfx/image/texel_channels.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/pixel_ops.h"

namespace gfx {

namespace {

TexelChannels Layout(uint32_t bytes, ChannelKind kind, std::initializer_list<std::pair<uint8_t, uint8_t>> fields)
{
    TexelChannels layout;
    layout.bytes = bytes;
    for (const auto& [shift, bits] : fields)
        layout.fields[layout.count++] = ChannelField{shift, bits, kind};
    layout.wholeBytes = kind == ChannelKind::Unsigned && layout.count == bytes;
    for (uint32_t i = 0; i < layout.count; ++i)
        layout.wholeBytes = layout.wholeBytes && layout.fields[i].shift == 8 * i && layout.fields[i].bits == 8;
    return layout;
}

TexelChannels Bytes(uint32_t count, ChannelKind kind = ChannelKind::Unsigned)
{
    TexelChannels layout = Layout(count, kind, {});
    for (uint32_t i = 0; i < count; ++i)
        layout.fields[layout.count++] = ChannelField{uint8_t(8 * i), 8, kind};
    layout.wholeBytes = kind == ChannelKind::Unsigned;
    return layout;
}

uint64_t LoadWord(const uint8_t* texel, uint32_t bytes)
{
    uint64_t word = 0;
    std::memcpy(&word, texel, bytes < 8 ? bytes : 8); // little-endian, as the texels are
    return word;
}

} // namespace

bool ChannelsOf(uint32_t format, TexelChannels& layout)
{
    using K = ChannelKind;
    switch (format) {
    case kFormatA8R8G8B8: case kFormatX8R8G8B8: case kFormatA8B8G8R8: case kFormatX8B8G8R8: layout = Bytes(4); return true;
    case kFormatR8G8B8: layout = Bytes(3); return true;
    case kFormatA8: case kFormatL8: layout = Bytes(1); return true;
    case kFormatA8L8: layout = Bytes(2); return true;
    case kFormatR5G6B5: layout = Layout(2, K::Unsigned, {{0, 5}, {5, 6}, {11, 5}}); return true;
    case kFormatX1R5G5B5: case kFormatA1R5G5B5: layout = Layout(2, K::Unsigned, {{0, 5}, {5, 5}, {10, 5}, {15, 1}}); return true;
    case kFormatA4R4G4B4: layout = Layout(2, K::Unsigned, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}); return true;
    case kFormatA2B10G10R10: case kFormatA2R10G10B10:
        layout = Layout(4, K::Unsigned, {{0, 10}, {10, 10}, {20, 10}, {30, 2}});
        return true;
    case kFormatL16: layout = Layout(2, K::Unsigned, {{0, 16}}); return true;
    case kFormatG16R16: layout = Layout(4, K::Unsigned, {{0, 16}, {16, 16}}); return true;
    case kFormatA16B16G16R16: layout = Layout(8, K::Unsigned, {{0, 16}, {16, 16}, {32, 16}, {48, 16}}); return true;
    case kFormatV8U8: layout = Bytes(2, K::Signed); return true;
    case kFormatQ8W8V8U8: layout = Bytes(4, K::Signed); return true;
    case kFormatV16U16: layout = Layout(4, K::Signed, {{0, 16}, {16, 16}}); return true;
    case kFormatR16F: layout = Layout(2, K::Half, {{0, 16}}); return true;
    case kFormatG16R16F: layout = Layout(4, K::Half, {{0, 16}, {16, 16}}); return true;
    case kFormatA16B16G16R16F: layout = Layout(8, K::Half, {{0, 16}, {16, 16}, {32, 16}, {48, 16}}); return true;
    case kFormatR32F: layout = Layout(4, K::Float, {{0, 32}}); return true;
    case kFormatG32R32F: layout = Layout(8, K::Float, {{0, 32}, {32, 32}}); return true;
    case kFormatA32B32G32R32F: layout = Layout(16, K::Float, {{0, 32}, {32, 32}, {64, 32}, {96, 32}}); return true;
    default: return false;
    }
}

void ReadChannels(const TexelChannels& layout, const uint8_t* from, size_t texels, float* values)
{
    if (layout.wholeBytes) {
        const size_t count = texels * layout.bytes;
        for (size_t i = 0; i < count; ++i)
            values[i] = from[i];
        return;
    }
    for (size_t t = 0; t < texels; ++t, from += layout.bytes) {
        const uint64_t word = layout.fields[0].kind == ChannelKind::Float ? 0 : LoadWord(from, layout.bytes);
        for (uint32_t c = 0; c < layout.count; ++c) {
            const ChannelField& field = layout.fields[c];
            const uint64_t raw = field.bits < 64 ? (word >> field.shift) & ((uint64_t{1} << field.bits) - 1) : 0;
            switch (field.kind) {
            case ChannelKind::Unsigned: *values++ = float(raw); break;
            case ChannelKind::Signed: {
                const int64_t half = int64_t{1} << (field.bits - 1);
                *values++ = float(int64_t(raw) >= half ? int64_t(raw) - 2 * half : int64_t(raw));
                break;
            }
            case ChannelKind::Half: *values++ = HalfToFloat(uint16_t(raw)); break;
            case ChannelKind::Float: {
                float value;
                std::memcpy(&value, from + field.shift / 8, 4);
                *values++ = value;
                break;
            }
            }
        }
    }
}

namespace {

// Nearest integer of a channel's range; NaN gives 0.
int64_t Quantize(double value, int64_t lowest, int64_t highest)
{
    if (!(value == value))
        return 0;
    const double rounded = std::floor(value + 0.5);
    if (rounded <= double(lowest))
        return lowest;
    if (rounded >= double(highest))
        return highest;
    return int64_t(rounded);
}

} // namespace

void WriteChannels(const TexelChannels& layout, const double* values, size_t texels, uint8_t* to)
{
    if (layout.wholeBytes) {
        const size_t count = texels * layout.bytes;
        for (size_t i = 0; i < count; ++i)
            to[i] = uint8_t(Quantize(values[i], 0, 255));
        return;
    }
    for (size_t t = 0; t < texels; ++t, to += layout.bytes) {
        uint64_t word = 0;
        for (uint32_t c = 0; c < layout.count; ++c) {
            const ChannelField& field = layout.fields[c];
            const double value = *values++;
            switch (field.kind) {
            case ChannelKind::Unsigned:
                word |= uint64_t(Quantize(value, 0, (int64_t{1} << field.bits) - 1)) << field.shift;
                break;
            case ChannelKind::Signed: {
                const int64_t half = int64_t{1} << (field.bits - 1);
                const uint64_t mask = (uint64_t{1} << field.bits) - 1;
                word |= (uint64_t(Quantize(value, -half, half - 1)) & mask) << field.shift;
                break;
            }
            case ChannelKind::Half: word |= uint64_t(FloatToHalf(float(value))) << field.shift; break;
            case ChannelKind::Float: {
                const float narrow = float(value);
                std::memcpy(to + field.shift / 8, &narrow, 4);
                break;
            }
            }
        }
        if (layout.fields[0].kind != ChannelKind::Float)
            std::memcpy(to, &word, layout.bytes < 8 ? layout.bytes : 8);
    }
}

} // namespace gfx
