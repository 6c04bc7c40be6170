#include "platform/gfx/image/texel_channels.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

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

namespace {

// The layouts read and written by loops made for each, the texel's size,
// channel count and kind known to the compiler: for such a layout calls
// `run.template operator()<bytes, count, kind>()` and returns true.
template <class Run>
bool RunFixed(const TexelChannels& layout, Run&& run)
{
    using K = ChannelKind;
    const K kind = layout.fields[0].kind;
    const auto is = [&](uint32_t bytes, uint32_t count, K k) {
        return layout.bytes == bytes && layout.count == count && kind == k;
    };
    if (is(2, 3, K::Unsigned)) return run.template operator()<2, 3, K::Unsigned>(), true;
    if (is(2, 4, K::Unsigned)) return run.template operator()<2, 4, K::Unsigned>(), true;
    if (is(2, 1, K::Unsigned)) return run.template operator()<2, 1, K::Unsigned>(), true;
    if (is(4, 2, K::Unsigned)) return run.template operator()<4, 2, K::Unsigned>(), true;
    if (is(4, 4, K::Unsigned)) return run.template operator()<4, 4, K::Unsigned>(), true;
    if (is(8, 4, K::Unsigned)) return run.template operator()<8, 4, K::Unsigned>(), true;
    if (is(2, 2, K::Signed)) return run.template operator()<2, 2, K::Signed>(), true;
    if (is(4, 2, K::Signed)) return run.template operator()<4, 2, K::Signed>(), true;
    if (is(4, 4, K::Signed)) return run.template operator()<4, 4, K::Signed>(), true;
    if (is(2, 1, K::Half)) return run.template operator()<2, 1, K::Half>(), true;
    if (is(4, 2, K::Half)) return run.template operator()<4, 2, K::Half>(), true;
    if (is(8, 4, K::Half)) return run.template operator()<8, 4, K::Half>(), true;
    return false;
}

// Every 16-bit float's value, worked out once: reading half-float levels
// would otherwise spend most of its time converting.
const float* HalfValues()
{
    static const std::vector<float> values = [] {
        std::vector<float> all(65536);
        for (uint32_t half = 0; half < 65536; ++half)
            all[half] = HalfToFloat(uint16_t(half));
        return all;
    }();
    return values.data();
}

// One layout's texels read with the texel's size, channel count and kind known
// to the compiler: the loop a level's making spends its time in.
template <uint32_t kBytes, uint32_t kCount, ChannelKind kKind>
void ReadFixed(const TexelChannels& layout, const uint8_t* from, size_t texels, float* values)
{
    uint32_t shifts[kCount];
    uint64_t masks[kCount];
    int64_t halves[kCount];
    const float* halfValues = kKind == ChannelKind::Half ? HalfValues() : nullptr;
    for (uint32_t c = 0; c < kCount; ++c) {
        shifts[c] = layout.fields[c].shift;
        masks[c] = (uint64_t{1} << layout.fields[c].bits) - 1;
        halves[c] = int64_t{1} << (layout.fields[c].bits - 1);
    }
    for (size_t t = 0; t < texels; ++t, from += kBytes, values += kCount) {
        uint64_t word = 0;
        std::memcpy(&word, from, kBytes); // little-endian, as the texels are
        for (uint32_t c = 0; c < kCount; ++c) {
            const uint64_t raw = (word >> shifts[c]) & masks[c];
            if constexpr (kKind == ChannelKind::Unsigned)
                values[c] = float(raw);
            else if constexpr (kKind == ChannelKind::Signed)
                values[c] = float(int64_t(raw) >= halves[c] ? int64_t(raw) - 2 * halves[c] : int64_t(raw));
            else
                values[c] = halfValues[raw];
        }
    }
}

} // namespace

void ReadChannels(const TexelChannels& layout, const uint8_t* from, size_t texels, float* values)
{
    using K = ChannelKind;
    const K kind = layout.fields[0].kind;
    if (layout.wholeBytes) {
        const size_t count = texels * layout.bytes;
        for (size_t i = 0; i < count; ++i)
            values[i] = from[i];
        return;
    }
    if (kind == K::Float) { // the channels are the floats, one after another
        std::memcpy(values, from, texels * layout.bytes);
        return;
    }
    if (RunFixed(layout, [&]<uint32_t kBytes, uint32_t kCount, K kKind>() {
            ReadFixed<kBytes, kCount, kKind>(layout, from, texels, values);
        }))
        return;
    for (size_t t = 0; t < texels; ++t, from += layout.bytes) {
        const uint64_t word = LoadWord(from, layout.bytes);
        for (uint32_t c = 0; c < layout.count; ++c) {
            const ChannelField& field = layout.fields[c];
            const uint64_t raw = (word >> field.shift) & ((uint64_t{1} << field.bits) - 1);
            const int64_t half = int64_t{1} << (field.bits - 1);
            switch (field.kind) {
            case K::Unsigned: *values++ = float(raw); break;
            case K::Signed: *values++ = float(int64_t(raw) >= half ? int64_t(raw) - 2 * half : int64_t(raw)); break;
            case K::Half: case K::Float: *values++ = HalfToFloat(uint16_t(raw)); break;
            }
        }
    }
}

namespace {

// Nearest integer of a channel's range (halves up); NaN gives 0.
inline int64_t Quantize(double value, int64_t lowest, int64_t highest)
{
    if (!(value == value))
        return 0;
    if (value <= double(lowest))
        return lowest;
    if (value >= double(highest))
        return highest;
    const double shifted = value + 0.5;
    int64_t rounded = int64_t(shifted); // toward zero: one more than the floor below zero
    if (double(rounded) > shifted)
        --rounded;
    return rounded;
}

template <uint32_t kBytes, uint32_t kCount, ChannelKind kKind>
void WriteFixed(const TexelChannels& layout, const double* values, size_t texels, uint8_t* to)
{
    uint32_t shifts[kCount];
    uint64_t masks[kCount];
    int64_t lowest[kCount], highest[kCount];
    for (uint32_t c = 0; c < kCount; ++c) {
        const uint32_t bits = layout.fields[c].bits;
        shifts[c] = layout.fields[c].shift;
        masks[c] = (uint64_t{1} << bits) - 1;
        lowest[c] = kKind == ChannelKind::Signed ? -(int64_t{1} << (bits - 1)) : 0;
        highest[c] = kKind == ChannelKind::Signed ? (int64_t{1} << (bits - 1)) - 1 : int64_t(masks[c]);
    }
    for (size_t t = 0; t < texels; ++t, to += kBytes, values += kCount) {
        uint64_t word = 0;
        for (uint32_t c = 0; c < kCount; ++c) {
            uint64_t raw;
            if constexpr (kKind == ChannelKind::Half)
                raw = FloatToHalf(float(values[c]));
            else
                raw = uint64_t(Quantize(values[c], lowest[c], highest[c])) & masks[c];
            word |= raw << shifts[c];
        }
        std::memcpy(to, &word, kBytes);
    }
}

} // namespace

void WriteChannels(const TexelChannels& layout, const double* values, size_t texels, uint8_t* to)
{
    using K = ChannelKind;
    const K kind = layout.fields[0].kind;
    if (layout.wholeBytes) {
        const size_t count = texels * layout.bytes;
        for (size_t i = 0; i < count; ++i)
            to[i] = uint8_t(Quantize(values[i], 0, 255));
        return;
    }
    if (kind == K::Float) {
        const size_t count = texels * layout.count;
        for (size_t i = 0; i < count; ++i) {
            const float narrow = float(values[i]);
            std::memcpy(to + 4 * i, &narrow, 4);
        }
        return;
    }
    if (RunFixed(layout, [&]<uint32_t kBytes, uint32_t kCount, K kKind>() {
            WriteFixed<kBytes, kCount, kKind>(layout, values, texels, to);
        }))
        return;
    for (size_t t = 0; t < texels; ++t, to += layout.bytes) {
        uint64_t word = 0;
        for (uint32_t c = 0; c < layout.count; ++c) {
            const ChannelField& field = layout.fields[c];
            const double value = *values++;
            const int64_t half = int64_t{1} << (field.bits - 1);
            const uint64_t mask = (uint64_t{1} << field.bits) - 1;
            switch (field.kind) {
            case K::Unsigned: word |= uint64_t(Quantize(value, 0, int64_t(mask))) << field.shift; break;
            case K::Signed: word |= (uint64_t(Quantize(value, -half, half - 1)) & mask) << field.shift; break;
            case K::Half: case K::Float: word |= uint64_t(FloatToHalf(float(value))) << field.shift; break;
            }
        }
        std::memcpy(to, &word, layout.bytes < 8 ? layout.bytes : 8);
    }
}

} // namespace gfx
