#pragma once
// Releasing the renderer's graphics objects with video-memory accounting: each
// release measures the video memory in use before and after and moves the
// render device's counter of the object's kind by the difference. The accounted
// creations and the counters themselves are render device members
// (render/device/render_device.h).
#include "render/device/render_device.h"

inline void ReleaseVideoResource(gfx::Surface* surface) { GetRenderer()->ReleaseSurface(surface); }
inline void ReleaseVideoResource(gfx::BaseTexture* texture) { GetRenderer()->ReleaseTexture(texture); }
inline void ReleaseVideoResource(gfx::VertexBuffer* buffer) { GetRenderer()->ReleaseVertexBuffer(buffer); }
inline void ReleaseVideoResource(gfx::IndexBuffer* buffer) { GetRenderer()->ReleaseIndexBuffer(buffer); }
inline void ReleaseVideoResource(gfx::Effect* effect) { GetRenderer()->ReleaseEffect(effect); }
