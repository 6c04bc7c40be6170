#pragma once
// How each texel format the device makes lives in OpenGL: the internal format,
// the client format and type that take the device's bytes unchanged (so X8R8G8B8
// bytes B,G,R,A go up as they lie), and the swizzle that gives formats without
// all four channels their Direct3D 9 reading (L8 as l,l,l,1; A8 as 0,0,0,a; an
// X channel as 1).
#include <cstdint>

namespace gfx::raster {

struct GlFormat {
    uint32_t internal = 0;     // 0: the format cannot be mirrored
    uint32_t format = 0;       // client format (0 for compressed formats)
    uint32_t type = 0;         // client type
    int32_t swizzle[4] = {0x1903, 0x1904, 0x1905, 0x1906}; // GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA: as stored
    bool compressed = false;
    bool depth = false;
    bool stencil = false;
};

GlFormat GlFormatOf(uint32_t format);

} // namespace gfx::raster
