#pragma once
// The demonstration's jitter textures: white noise, four independent bytes
// per texel, the same on every run. The effects offset their shadow filters
// by them so that steps in the filter size dither instead of banding: a 2D
// tile repeated over the screen, and a volume repeated over world space.
#include <cstdint>

#include "tools/makedata/image_files.h"

namespace makedata {

// side x side texels (x depth when depth > 1), from the seed.
Image WhiteNoise(uint32_t side, uint32_t depth, uint32_t seed);

} // namespace makedata
