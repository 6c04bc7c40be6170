#pragma once
// What the adapter can do, as the engine checks it at start-up. A new adapter
// reports a capable card; tests lower any of it through the testing hooks.
#include <cstdint>

namespace gfx {

inline constexpr uint32_t kCaps2DynamicTextures = 0x20000000u;
inline constexpr uint32_t kCaps2CanAutoGenMipMap = 0x40000000u;
inline constexpr uint32_t kDevCaps2StreamOffset = 0x1;
inline constexpr uint32_t kDevCaps2CanStretchRectFromTextures = 0x10;

inline constexpr uint32_t VertexShaderVersion(uint32_t major, uint32_t minor) { return 0xFFFE0000u | (major << 8) | minor; }
inline constexpr uint32_t PixelShaderVersion(uint32_t major, uint32_t minor) { return 0xFFFF0000u | (major << 8) | minor; }

struct Caps {
    uint32_t deviceType = 1;
    uint32_t adapterOrdinal = 0;
    uint32_t caps2 = kCaps2DynamicTextures | kCaps2CanAutoGenMipMap;
    uint32_t devCaps2 = kDevCaps2StreamOffset | kDevCaps2CanStretchRectFromTextures;
    uint32_t maxTextureWidth = 8192;
    uint32_t maxTextureHeight = 8192;
    uint32_t maxVolumeExtent = 2048;
    uint32_t maxStreams = 16;
    uint32_t maxUserClipPlanes = 6;
    uint32_t numSimultaneousRTs = 4;
    uint32_t vertexShaderVersion = VertexShaderVersion(3, 0);
    uint32_t pixelShaderVersion = PixelShaderVersion(3, 0);
};

} // namespace gfx
