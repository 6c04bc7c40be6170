#pragma once
// Rect: a rectangle of pixels, from left and top up to, not including, right
// and bottom. The one rectangle of windows, painting and the graphics device.
#include <cstdint>

namespace platform {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

} // namespace platform
