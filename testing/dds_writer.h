#pragma once
// Test hook: builds DDS files in memory (any format the engine loads, with mip
// chains, cube maps and volumes) and the texels to fill them with.
#include <cstdint>
#include <vector>

#include "platform/gfx/image/image_decode.h"

namespace platform::testing {

struct DdsSpec {
    uint32_t format = 0; // a gfx::Format number
    gfx::ImageKind kind = gfx::ImageKind::Texture2D;
    uint32_t width = 1;
    uint32_t height = 1;
    uint32_t depth = 1;  // volumes only
    uint32_t levels = 1; // written as the file's mip count
};

// Bytes of all faces and levels, face by face, each level by its own size.
uint64_t DdsTexelBytes(const DdsSpec& spec);

// A recognisable byte pattern of DdsTexelBytes(spec) bytes, different per seed.
std::vector<uint8_t> PatternTexels(const DdsSpec& spec, uint32_t seed = 1);

// The 128-byte header followed by `texels` as they are (short or long on purpose
// when a test wants a damaged file). A format the file cannot describe with
// masks is written as its number in the four-character code.
std::vector<uint8_t> WriteDds(const DdsSpec& spec, const std::vector<uint8_t>& texels);

// Header and PatternTexels(spec, seed).
std::vector<uint8_t> WriteDds(const DdsSpec& spec, uint32_t seed = 1);

} // namespace platform::testing
