#include "tools/makedata/noise.h"

namespace makedata {

Image WhiteNoise(uint32_t side, uint32_t depth, uint32_t seed)
{
    Image image = BlankImage(side, side, depth);
    // A 32-bit xorshift stream: small, fast and the same everywhere.
    uint32_t state = seed != 0 ? seed : 1;
    for (uint8_t& byte : image.bgra) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return image;
}

} // namespace makedata
