#pragma once
// The render device: the one object through which the renderer reaches the
// graphics device. It holds the device, the copied graphics settings, the back
// buffer's target record, the active camera's matrices, the instancing stream
// state, the video-memory counters and the last device result. It is a task
// module of RENDERTHREAD. GetRenderer makes it on first use (16-byte aligned).
#include <cstdint>
#include <map>
#include <string>

#include "kernel/handler_module.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "platform/gfx/buffer.h"
#include "platform/gfx/device.h"
#include "platform/gfx/direct_draw.h"
#include "platform/gfx/draw_types.h"
#include "platform/gfx/line.h"
#include "platform/gfx/result.h"
#include "platform/gfx/surface.h"
#include "platform/gfx/texture.h"

namespace gfx {
class Effect;
}

// The pseudo render state whose value is a pointer to a world-space clip plane
// (four floats) or null; it goes through SetRenderStateCached like any state.
inline constexpr uint32_t kClipPlaneState = 505;

// A viewport with the colour and depth-stencil surfaces drawn into through it.
// The back buffer has one in the render device, every render texture its own;
// passes point at records and never own them.
struct RenderTargetRecord {
    gfx::Viewport viewport{0, 0, 0, 0, 0.0f, 1.0f};
    gfx::Surface* colour = nullptr;
    gfx::Surface* depthStencil = nullptr;
};

class alignas(16) RenderDevice : public HandlerModule<RenderDevice> {
public:
    // Attaches itself to RENDERTHREAD.
    RenderDevice();
    // Releases no graphics object (ReleaseDevice releases the device).
    ~RenderDevice() override;
    RenderDevice(const RenderDevice&) = delete;
    RenderDevice& operator=(const RenderDevice&) = delete;

    // The DirectDraw objects, the back buffer's target record with its own
    // depth-stencil surface, the viewport, the default render states,
    // allowInstancing, bytesPerTexel and the line object. Run once by CreateDevice.
    void InitDirectDraw();

    // ---- Video memory accounting and accounted resources (video_memory.cpp) ----

    // Video memory in use (total minus free); 0 after "Failed to get busy video memory."
    uint32_t GetBusyVideoMemory();

    // Each creation keeps the device's result in lastResult, reports a failure in
    // its own words and returns false; on success the video memory it took is
    // added to its kind's counter.
    bool CreateRenderTexture(gfx::Texture** texture, uint16_t width, uint16_t height, uint32_t format, uint32_t usage,
                             uint32_t pool, uint16_t levels);
    // The back buffer's own depth-stencil surface always takes the device's multisampling.
    bool CreateDepthStencilSurface(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                                   uint8_t multisampled);
    // 32-bit indices only when bytesPerIndex is 4. The buffer is left null on failure.
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
    void ReleaseEffect(gfx::Effect* effect);

    // The multisample type and quality of a multisampled target: 8 samples at
    // quality 2 for antialiasing 32 (CSAA), else antialiasing at quality 0.
    uint32_t MultisampleType() const;
    uint32_t MultisampleQuality() const;

    // ---- Render states (render_state_cache.cpp) ----

    // Sets a render state on the device; kClipPlaneState takes a clip-plane
    // pointer (or null) and switches user clip plane 1 on (or off). The outcome
    // is in lastResult; a failure prints "SetRenderState failed.".
    void SetRenderStateCached(uint32_t state, uintptr_t value);

    // ---- Instancing (render/instanced_drawing.cpp) ----

    // The next indexed draws draw `count` instances whose data is read from
    // `buffer` at `offset`, `stride` bytes each: both stream frequencies (set
    // only when they change) and stream 1 (always). A null buffer is reported
    // ("SetInstancing: NULL buffer!") and bound all the same. The result is
    // that of binding stream 1.
    gfx::Result SetInstancing(uint32_t count, gfx::VertexBuffer* buffer, uint32_t stride, uint32_t offset);
    // Both stream frequencies back to 1 and no instance stream; nothing when
    // instancing is already off.
    void SetInstancingOff();

    // ---- Surface copies (render/render_pass_copy.cpp) ----

    // Copies the whole source surface into the rectangle (x, y, width, height)
    // of the destination, filtering linearly when `filter` is non-zero. The
    // result is kept in lastResult; a failure is reported ("StretchRect
    // failed. ") and the frame goes on. True on success.
    bool StretchRectTo(gfx::Surface* source, gfx::Surface* destination, uint16_t x, uint16_t y, uint16_t width,
                       uint16_t height, uint8_t filter);

    // ---- Texture upload tasks (render/render_device_module.cpp) ----

    // "UploadTexToVRAM", then "UploadTexPartToVRAM".
    void RegisterHandlers() override;
    void UploadTexToVRAM(TaskMessage* task);
    void UploadTexPartToVRAM(TaskMessage* task);

    // ---- Fields ----

    gfx::Result lastResult = gfx::kOk;
    // Device primitive type per draw-item primitive kind (2 lines, 3 triangles).
    uint32_t primitiveTypes[4] = {0, 0, 0, 0};
    // Messages of the last effect compilation; empty when none.
    std::string compileErrors;
    gfx::VertexBuffer* instanceStream = nullptr; // stream 1 while instancing; not owned
    uint32_t instanceStreamOffset = 0;
    std::map<uint32_t, float> bytesPerTexel; // by format, for sizing pooled textures
    RenderTargetRecord* currentTarget = nullptr; // bound as render target 0; not owned
    uint32_t stream0Frequency = 1;
    uint32_t stream1Frequency = 1;
    float4 clipPlane;      // the plane last handed to the device, in clip space
    float4x4 clipMatrix;   // scratch: the transpose of *invViewProj
    gfx::DirectDraw* directDraw = nullptr;
    gfx::DirectDraw7* directDraw7 = nullptr;
    gfx::SurfaceCaps videoMemoryCaps;
    uint32_t videoMemoryBefore = 0;
    uint32_t videoMemoryAtStart = 0;
    int32_t textureMemory = 0;
    int32_t vertexBufferMemory = 0;
    int32_t indexBufferMemory = 0;
    int32_t surfaceMemory = 0;
    int32_t effectMemory = 0;
    gfx::Line* line = nullptr;
    double nextUploadCheck = 0.0; // platform-clock seconds; 0.0 = not armed
    gfx::Device* device = nullptr;

    // The active camera's matrices (ApplyCamera); not copies, not owned.
    const float4x4* view = nullptr;
    const float4x4* projection = nullptr;
    const float4x4* cameraWorld = nullptr;
    const float4x4* viewProj = nullptr;
    const float4x4* invViewProj = nullptr;

    float4 viewportScale;  // (W/2, -H/2, MaxZ - MinZ, 0) of the back-buffer viewport
    float4 viewportOffset; // (X + W/2, Y + H/2, MinZ, 0)
    float aspectRatio = 0.0f;

    // Graphics settings copied by the start-up before the device is made.
    uint16_t width = 0;
    uint16_t height = 0;
    bool fullscreen = false;
    bool vsync = false;
    uint32_t antialiasing = 0; // a multisample type, or 32 for CSAA
    bool alphaToCoverage = false;

    RenderTargetRecord backBufferTarget;
    uint32_t drawCalls = 0;
    bool allowInstancing = true;

private:
    // Video memory before one accounted operation; after it, adds the change to `counter`.
    void BeginAccounting();
    void EndAccounting(int32_t& counter);
    // One reference of `object` given back, accounted to `counter`; null is ignored.
    void ReleaseAccounted(gfx::Resource* object, int32_t& counter);
};

inline constexpr uint32_t kAntialiasingCsaa = 32;

// The render device, made on first use; never called after ReleaseDevice.
RenderDevice* GetRenderer();
// True while the render device exists (without making it).
bool RendererExists();
// Releases the device (when set), prints "D3D9Device released" and deletes the
// render device. Nothing when there is none.
void ReleaseDevice();
