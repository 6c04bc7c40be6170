#pragma once
// The channels of an uncompressed texel format as numbers, so that filtering
// treats every format alike: an unsigned or signed integer channel reads as its
// integer value, a 16- or 32-bit float channel as its value; written back, a
// number is rounded to the nearest integer and clamped to the channel's range.
// Which channel is red or alpha does not matter here, only where the bits lie.
#include <cstddef>
#include <cstdint>

namespace gfx {

enum class ChannelKind : uint8_t { Unsigned, Signed, Half, Float };

struct ChannelField {
    uint8_t shift = 0; // first bit in the texel, counted from its first byte's lowest
    uint8_t bits = 0;
    ChannelKind kind = ChannelKind::Unsigned;
};

struct TexelChannels {
    uint32_t bytes = 0; // of one texel
    uint32_t count = 0; // channels
    ChannelField fields[4];
    bool wholeBytes = false; // every channel an unsigned byte of its own, in order
};

// False for a format without such a layout (block, depth and index formats).
bool ChannelsOf(uint32_t format, TexelChannels& layout);

// The numbers of `texels` texels, `layout.count` a texel. They are written from
// doubles: a sum of many weighed 16-bit values rounds right only so.
void ReadChannels(const TexelChannels& layout, const uint8_t* from, size_t texels, float* values);
void WriteChannels(const TexelChannels& layout, const double* values, size_t texels, uint8_t* to);

} // namespace gfx
