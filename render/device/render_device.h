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
#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/direct_draw.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/line.h"
#include "platform/gfx/device/result.h"
#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/texture.h"

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

class Settings;

// The graphics settings the device is made from, copied by the start-up
// before the device is made.
struct GraphicsSettings {
    uint16_t width = 0;
    uint16_t height = 0;
    bool fullscreen = false;
    bool vsync = false;
    uint32_t antialiasing = 0; // a multisample type, or 32 for CSAA
    bool alphaToCoverage = false;
    // Copied from the settings: the lines naming a width or height there that
    // is no back-buffer size (1 to gfx::kMaxBackBufferSide), empty when both are.
    std::string sizeProblem;
};

// The active camera's matrices as ApplyCamera hands them over: pointers into
// the camera, not copies, not owned. Null until a camera is applied.
struct CameraMatrices {
    const float4x4* view = nullptr;
    const float4x4* projection = nullptr;
    const float4x4* cameraWorld = nullptr; // its fourth row is the camera position
    const float4x4* viewProj = nullptr;
    const float4x4* invViewProj = nullptr;
};

// Stream 1 while instancing: the per-instance buffer and the frequencies last
// given to streams 0 and 1.
struct InstanceStreamState {
    gfx::VertexBuffer* instanceStream = nullptr; // not owned; null while instancing is off
    uint32_t instanceStreamOffset = 0;
    uint32_t stream0Frequency = 1;
    uint32_t stream1Frequency = 1;
};

// The video-memory counters, one for each kind of accounted object.
enum class VideoMemoryKind : uint8_t { Texture, VertexBuffer, IndexBuffer, Surface, Effect };

class alignas(16) RenderDevice : public HandlerModule<RenderDevice> {
public:
    // Attaches itself to RENDERTHREAD.
    RenderDevice();
    // Releases no graphics object (ReleaseDevice releases the device).
    ~RenderDevice() override;
    RenderDevice(const RenderDevice&) = delete;
    RenderDevice& operator=(const RenderDevice&) = delete;

    // ---- Start-up ----

    // Section Graphics, in the start-up's order: antialiasing, fullscreen,
    // width and height (each kept as 16 bits), vsync, alphaToCoverage. A width
    // or height outside the back buffer's sizes is noted in sizeProblem, so
    // no device is made of the 16 bits kept of it.
    void CopyGraphicsSettings(const Settings& settings);
    void SetGraphicsSettings(const GraphicsSettings& settings) { graphics = settings; }
    const GraphicsSettings& Graphics() const { return graphics; }

    // The graphics device; ReleaseDevice releases the one set here.
    void SetDevice(gfx::Device* made) { device = made; }
    gfx::Device* Device() const { return device; }

    // The DirectDraw objects, the back buffer's target record with its own
    // depth-stencil surface, the viewport, the default render states,
    // allowInstancing, bytesPerTexel and the line object. Run once by CreateDevice.
    void InitDirectDraw();
    // The DirectDraw objects that read the video memory in use (the first
    // steps of InitDirectDraw); failures go to the error stream.
    void OpenVideoMemoryReading();
    // Releases them; ReleaseDevice does.
    void CloseVideoMemoryReading();

    // ---- Results ----

    // The result of the last device call the renderer checked.
    gfx::Result LastResult() const { return lastResult; }
    // Keeps `result` as the last result and gives it back.
    gfx::Result KeepResult(gfx::Result result) { return lastResult = result; }
    // Messages of the last effect compilation; empty when none.
    const std::string& CompileErrors() const { return compileErrors; }
    void ClearCompileErrors() { compileErrors.clear(); }

    // ---- Video memory accounting and accounted resources (video_memory.cpp) ----

    // Video memory in use (total minus free); 0 after "Failed to get busy video memory."
    uint32_t GetBusyVideoMemory();

    // One accounted operation: reads the video memory in use, runs `operation`
    // and, when it returns true, reads again and adds the change to `kind`'s
    // counter. A false return (a failed creation) reads no second time. Every
    // creation and release of a graphics object goes through here.
    template <class Operation>
    bool AccountVideoMemory(VideoMemoryKind kind, Operation&& operation)
    {
        videoMemoryBefore = GetBusyVideoMemory();
        if (!operation())
            return false;
        AddVideoMemoryChange(kind);
        return true;
    }

    // The counter of one kind, in bytes (signed: a release may give back more
    // than was counted).
    int32_t VideoMemory(VideoMemoryKind kind) const;
    // Video memory in use when InitDirectDraw ran.
    uint32_t VideoMemoryAtStart() const { return videoMemoryAtStart; }
    const gfx::SurfaceCaps& VideoMemoryCaps() const { return videoMemoryCaps; }

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

    // Bytes per texel of a format the texture pool sizes; 4 for a format the
    // table does not hold (or holds as 0).
    float BytesPerTexel(uint32_t format) const;

    // ---- Render targets ----

    // The back buffer's record; passes point at it.
    RenderTargetRecord& BackBufferTarget() { return backBufferTarget; }
    // The record bound as render target 0; null when none is.
    RenderTargetRecord* CurrentTarget() const { return currentTarget; }
    // The viewport drawn into: the current target's, else the back buffer's.
    const gfx::Viewport& CurrentViewport() const;
    // Binds the record's colour surface as render target `index` (none for a
    // null record) and, for a record, its depth-stencil surface and viewport;
    // target 0 becomes the current target (without a device only that).
    void BindTarget(uint32_t index, RenderTargetRecord* record);
    // Unbinds render target `index`; target 0 leaves no current target.
    void UnbindTarget(uint32_t index);
    // A record going away stops being the current target.
    void ForgetTarget(const RenderTargetRecord* record);

    // Of the back-buffer viewport: (W/2, -H/2, MaxZ - MinZ, 0),
    // (X + W/2, Y + H/2, MinZ, 0) and W / H.
    const float4& ViewportScale() const { return viewportScale; }
    const float4& ViewportOffset() const { return viewportOffset; }
    float AspectRatio() const { return aspectRatio; }

    // ---- The active camera ----

    // ApplyCamera hands its matrices over here.
    void SetCamera(const CameraMatrices& matrices) { camera = matrices; }
    const CameraMatrices& Camera() const { return camera; }
    // Every matrix pointer into [begin, end) - a camera going away - becomes null.
    void ForgetCameraIn(const void* begin, const void* end);

    // ---- Drawing ----

    // Device primitive type of a draw-item primitive kind (2 lines, 3
    // triangles); 0 for the unused kinds 0 and 1. Only the low two bits count.
    uint32_t PrimitiveType(uint32_t kind) const { return primitiveTypes[kind & 3]; }
    // Successful draw calls of the current frame.
    uint32_t DrawCalls() const { return drawCalls; }
    void CountDrawCall() { ++drawCalls; }
    // A frame starts counting from 0.
    void ResetDrawCalls() { drawCalls = 0; }
    bool AllowInstancing() const { return allowInstancing; }
    // What InitDirectDraw read from allowInstancing, changed.
    void SetAllowInstancing(bool allow) { allowInstancing = allow; }
    const InstanceStreamState& Instancing() const { return instancing; }
    gfx::Line* Line() const { return line; }

    // ---- Render states (render_state_cache.cpp) ----

    // Sets a render state on the device; kClipPlaneState takes a clip-plane
    // pointer (or null) and switches user clip plane 1 on (or off). The outcome
    // is in lastResult; a failure prints "SetRenderState failed.".
    void SetRenderStateCached(uint32_t state, uintptr_t value);
    // The plane last handed to the device, in clip space, and the transpose of
    // the inverse view-projection it was carried by.
    const float4& ClipPlane() const { return clipPlane; }
    const float4x4& ClipMatrix() const { return clipMatrix; }

    // ---- Instancing (render/frame/instanced_drawing.cpp) ----

    // The next indexed draws draw `count` instances whose data is read from
    // `buffer` at `offset`, `stride` bytes each: both stream frequencies (set
    // only when they change) and stream 1 (always). A null buffer is reported
    // ("SetInstancing: NULL buffer!") and bound all the same. The result is
    // that of binding stream 1.
    gfx::Result SetInstancing(uint32_t count, gfx::VertexBuffer* buffer, uint32_t stride, uint32_t offset);
    // Both stream frequencies back to 1 and no instance stream; nothing when
    // instancing is already off.
    void SetInstancingOff();

    // ---- Surface copies (render/device/render_pass_copy.cpp) ----

    // Copies the whole source surface into the rectangle (x, y, width, height)
    // of the destination, filtering linearly when `filter` is non-zero. The
    // result is kept in lastResult; a failure is reported ("StretchRect
    // failed. ") and the frame goes on. True on success.
    bool StretchRectTo(gfx::Surface* source, gfx::Surface* destination, uint16_t x, uint16_t y, uint16_t width,
                       uint16_t height, uint8_t filter);

    // ---- Texture upload tasks (render/device/render_device_module.cpp) ----

    // "UploadTexToVRAM", then "UploadTexPartToVRAM".
    void RegisterHandlers() override;
    void UploadTexToVRAM(TaskMessage* task);
    void UploadTexPartToVRAM(TaskMessage* task);
    // Platform-clock seconds until which part uploads check their texels; 0.0
    // until the first part upload arms it.
    double NextUploadCheck() const { return nextUploadCheck; }

private:
    // After one accounted operation: adds the change since videoMemoryBefore to `kind`'s counter.
    void AddVideoMemoryChange(VideoMemoryKind kind);
    static int32_t RenderDevice::*CounterOf(VideoMemoryKind kind);
    // One reference of `object` given back, accounted to `kind`; null is ignored.
    void ReleaseAccounted(gfx::Resource* object, VideoMemoryKind kind);

    gfx::Result lastResult = gfx::kOk;
    // Device primitive type per draw-item primitive kind.
    uint32_t primitiveTypes[4] = {0, 0, 0, 0};
    std::string compileErrors;
    InstanceStreamState instancing;
    std::map<uint32_t, float> bytesPerTexel; // by format, for sizing pooled textures
    RenderTargetRecord* currentTarget = nullptr; // bound as render target 0; not owned
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

    CameraMatrices camera;

    float4 viewportScale;
    float4 viewportOffset;
    float aspectRatio = 0.0f;

    GraphicsSettings graphics;

    RenderTargetRecord backBufferTarget;
    uint32_t drawCalls = 0;
    bool allowInstancing = true;

    friend void ReleaseDevice();
};

inline constexpr uint32_t kAntialiasingCsaa = 32;

// The render device, made on first use; never called after ReleaseDevice.
RenderDevice* GetRenderer();
// True while the render device exists (without making it).
bool RendererExists();
// Releases the device (when set), prints "D3D9Device released" and deletes the
// render device. Nothing when there is none.
void ReleaseDevice();
