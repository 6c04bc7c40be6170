#pragma once
// The render device's resources: the creations of graphics objects (textures,
// surfaces, vertex and index buffers), each checked, reported in its own words
// and accounted to the video-memory meter; their accounted releases; the
// multisample type and quality the graphics settings ask for; and the bytes
// per texel of the formats the texture pool sizes.
#include <cstdint>
#include <map>

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/texture.h"
#include "render/device/video_memory_meter.h"

namespace gfx {
class RuntimeEffect;
}

class RenderDevice;

class DeviceResources {
public:
    explicit DeviceResources(RenderDevice& owner) : owner_(owner) {}
    DeviceResources(const DeviceResources&) = delete;
    DeviceResources& operator=(const DeviceResources&) = delete;

    // Each creation keeps the device's result in lastResult, reports a failure in
    // its own words and returns false; on success the video memory it took is
    // added to its kind's counter.
    bool CreateRenderTexture(gfx::Texture** texture, uint16_t width, uint16_t height, uint32_t format, uint32_t usage,
                             uint32_t pool, uint16_t levels);
    // The back buffer's own depth-stencil surface always takes the device's multisampling.
    bool CreateDepthStencilSurface(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                                   uint8_t multisampled);
    // The buffers differ from the others on failure: the video memory in use
    // is still read again and its change counted. 32-bit indices only when
    // bytesPerIndex is 4. The buffer is left null on failure.
    bool CreateIndexBuffer(gfx::IndexBuffer** buffer, uint32_t count, uint8_t bytesPerIndex, uint32_t usage);
    bool CreateVertexBuffer(gfx::VertexBuffer** buffer, uint32_t count, uint32_t stride, uint32_t usage);
    bool CreateRenderTarget(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                            uint8_t multisampled);
    bool CreateOffscreenSurface(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                                uint32_t pool);
    // Not accounted: a level surface shares its texture's memory.
    bool GetSurfaceLevelChecked(uint16_t level, gfx::Texture* texture, gfx::Surface** surface);

    // Accounted releases; each takes the caller's reference. Null is ignored.
    void ReleaseSurface(gfx::Surface* surface);
    void ReleaseTexture(gfx::BaseTexture* texture);
    void ReleaseVertexBuffer(gfx::VertexBuffer* buffer);
    void ReleaseIndexBuffer(gfx::IndexBuffer* buffer);
    // Destroys the effect (the caller gives up its ownership).
    void ReleaseEffect(gfx::RuntimeEffect* effect);

    // The multisample type and quality of a multisampled target: 8 samples at
    // quality 2 for antialiasing 32 (CSAA), else antialiasing at quality 0.
    uint32_t MultisampleType() const;
    uint32_t MultisampleQuality() const;

    // Bytes per texel of a format the texture pool sizes; 4 for a format the
    // table does not hold (or holds as 0).
    float BytesPerTexel(uint32_t format) const;

private:
    friend class RenderDevice; // InitDirectDraw fills the bytes per texel

    // One reference of `object` given back, accounted to `kind`; null is ignored.
    void ReleaseAccounted(gfx::Resource* object, VideoMemoryKind kind);

    RenderDevice& owner_;
    std::map<uint32_t, float> bytesPerTexel; // by format, for sizing pooled textures
};
