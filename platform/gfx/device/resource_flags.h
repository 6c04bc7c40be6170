#pragma once
// Memory pools, usage bits, lock flags and resource kinds of graphics
// resources. The engine stores pools and usages in its data and passes them as
// plain numbers, so the numbers are kept exactly.
#include <cstdint>

namespace gfx {

enum Pool : uint32_t {
    kPoolDefault = 0,   // video memory; counted in the video-memory figure
    kPoolManaged = 1,
    kPoolSystemMem = 2, // lockable staging copies, source of texture updates
    kPoolScratch = 3,
};

inline constexpr uint32_t kUsageRenderTarget = 0x1;
inline constexpr uint32_t kUsageDepthStencil = 0x2;
inline constexpr uint32_t kUsageWriteOnly = 0x8;
inline constexpr uint32_t kUsageDynamic = 0x200;
inline constexpr uint32_t kUsageAutoGenMipMap = 0x400;

inline constexpr uint32_t kLockReadOnly = 0x10;
inline constexpr uint32_t kLockNoOverwrite = 0x1000;
inline constexpr uint32_t kLockDiscard = 0x2000;
inline constexpr uint32_t kLockNoDirtyUpdate = 0x8000; // the lock adds nothing to the changed region

enum ResourceType : uint32_t {
    kResourceSurface = 1,
    kResourceVolume = 2,
    kResourceTexture = 3,
    kResourceVolumeTexture = 4,
    kResourceCubeTexture = 5,
    kResourceVertexBuffer = 6,
    kResourceIndexBuffer = 7,
};

} // namespace gfx
