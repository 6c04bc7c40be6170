#pragma once
// The DirectDraw objects the engine makes only to read how much video memory is
// in use: the total and free figures of the adapter's video-memory model.
#include <cstdint>

#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/result.h"

namespace gfx {

inline constexpr uint32_t kSurfaceCapsVideoMemory = 0x4000;
inline constexpr uint32_t kSurfaceCapsLocalVideoMemory = 0x10000000;
inline constexpr uint32_t kSurfaceCapsNonLocalVideoMemory = 0x20000000;

struct SurfaceCaps {
    uint32_t caps = 0;
    uint32_t caps2 = 0;
    uint32_t caps3 = 0;
    uint32_t caps4 = 0;
};

class DirectDraw7 : public RefCounted {
public:
    // Either of `total` and `free` may be null. Figures saturate at 4 GiB - 1.
    Result GetAvailableVidMem(const SurfaceCaps* caps, uint32_t* total, uint32_t* free) const;

private:
    friend class DirectDraw;
    DirectDraw7() = default;
};

class DirectDraw : public RefCounted {
public:
    // The version-7 interface of this object (one new reference).
    Result QueryDirectDraw7(DirectDraw7** directDraw7);

private:
    friend Result CreateDirectDraw(DirectDraw** directDraw);
    DirectDraw() = default;
};

Result CreateDirectDraw(DirectDraw** directDraw);

} // namespace gfx
