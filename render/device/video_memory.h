#pragma once
// Releasing the renderer's graphics objects with video-memory accounting: each
// release measures the video memory in use before and after and moves the
// render device's counter of the object's kind by the difference. The accounted
// creations and releases are the render device's resources part
// (render/device/device_resources.h), the counters its video-memory meter
// (render/device/video_memory_meter.h).
#include "render/device/render_device.h"

inline void ReleaseVideoResource(gfx::Surface* surface) { GetRenderer()->Resources().ReleaseSurface(surface); }
inline void ReleaseVideoResource(gfx::BaseTexture* texture) { GetRenderer()->Resources().ReleaseTexture(texture); }
inline void ReleaseVideoResource(gfx::VertexBuffer* buffer)
{
    GetRenderer()->Resources().ReleaseVertexBuffer(buffer);
}
inline void ReleaseVideoResource(gfx::IndexBuffer* buffer) { GetRenderer()->Resources().ReleaseIndexBuffer(buffer); }
inline void ReleaseVideoResource(gfx::RuntimeEffect* effect) { GetRenderer()->Resources().ReleaseEffect(effect); }
