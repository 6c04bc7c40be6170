#pragma once
// The render device: the one object through which the renderer reaches the
// graphics device. It holds the device, the copied graphics settings, the last
// device result and the line object, and reaches everything else through its
// parts, each of one concern:
//   Memory()     the video-memory meter: readings and counters (video_memory_meter.h)
//   Resources()  creations and accounted releases of graphics objects (device_resources.h)
//   Targets()    the back buffer's target record, target binding, viewport figures (render_targets.h)
//   Frame()      camera, clip plane, render states, draw counter, instancing (frame_state.h)
//   Uploads()    the texture upload module of RENDERTHREAD (texture_upload_module.h)
// GetRenderer makes it on first use (16-byte aligned); the upload module
// attaches itself to RENDERTHREAD then.
#include <cstdint>
#include <string>

#include "platform/gfx/device/device.h"
#include "platform/gfx/device/line.h"
#include "platform/gfx/device/result.h"
#include "render/device/device_resources.h"
#include "render/device/frame_state.h"
#include "render/device/render_targets.h"
#include "render/device/texture_upload_module.h"
#include "render/device/video_memory_meter.h"

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

class alignas(16) RenderDevice {
public:
    // Makes the parts; the upload module attaches itself to RENDERTHREAD.
    RenderDevice();
    // Releases no graphics object (ReleaseDevice releases the device).
    ~RenderDevice();
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

    // ---- Results ----

    // The result of the last device call the renderer checked.
    gfx::Result LastResult() const { return lastResult; }
    // Keeps `result` as the last result and gives it back.
    gfx::Result KeepResult(gfx::Result result) { return lastResult = result; }
    // Messages of the last effect compilation; empty when none.
    const std::string& CompileErrors() const { return compileErrors; }
    void ClearCompileErrors() { compileErrors.clear(); }

    gfx::Line* Line() const { return line; }

    // ---- The parts ----

    VideoMemoryMeter& Memory() { return memory; }
    DeviceResources& Resources() { return resources; }
    const DeviceResources& Resources() const { return resources; }
    RenderTargets& Targets() { return targets; }
    FrameState& Frame() { return frame; }
    const FrameState& Frame() const { return frame; }
    TextureUploadModule& Uploads() { return uploads; }

private:
    gfx::Result lastResult = gfx::kOk;
    std::string compileErrors;
    gfx::Line* line = nullptr;
    gfx::Device* device = nullptr;
    GraphicsSettings graphics;

    VideoMemoryMeter memory;
    DeviceResources resources;
    RenderTargets targets;
    FrameState frame;
    TextureUploadModule uploads; // last: attaching to RENDERTHREAD ends the construction

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
