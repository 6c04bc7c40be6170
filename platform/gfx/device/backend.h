#pragma once
// What a graphics device does with texels, behind one interface, chosen once
// when the device is made: a recording backend carries out clears and stretch
// copies on the CPU bytes only once something reads them, and draws nothing;
// a drawing backend (platform/gfx/raster/gl_backend.h) clears, copies, draws
// and makes mip levels through OpenGL and brings what the GPU drew back into
// the bytes when the CPU reads them. Either shows presented frames in the
// device window when it is a real one. The device validates, keeps the
// bindings, counts video memory and records calls the same way over both.
#include <array>
#include <cstdint>
#include <memory>

#include "platform/gfx/device/device_states.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/pixel_ops.h"
#include "platform/gfx/device/recorded_draw.h"

namespace platform {
class Window;
}

namespace gfx {

class Resource;
class Surface;
class BaseTexture;
class Buffer;
class VertexBuffer;
class IndexBuffer;
class VertexDeclaration;
struct EffectBinding;
struct TextureLayout;

inline constexpr uint32_t kMaxStreams = 16;

// One vertex stream as the device has it bound.
struct StreamBinding {
    VertexBuffer* buffer = nullptr;
    uint32_t offset = 0;
    uint32_t stride = 0;
    uint32_t frequency = 1;
};

using TargetBindings = std::array<Surface*, kMaxRenderTargets>;

// A validated clear of the bound targets.
struct ClearCall {
    const TargetBindings* targets = nullptr;
    Surface* depthStencil = nullptr;
    Rect view;                    // the viewport
    uint32_t count = 0;           // rectangles; 0 clears the whole viewport
    const Rect* rects = nullptr;
    bool colour = false;
    bool depth = false;
    bool stencil = false;
    uint32_t argb = 0;
    float z = 1.0f;
    uint32_t stencilValue = 0;

    uint32_t Areas() const { return count == 0 ? 1 : count; }
    // Area `i`, within the viewport.
    Rect Area(uint32_t i) const { return count == 0 ? view : Intersect(view, rects[i]); }
};

// A validated draw with what it reads; the pointers are the device's own.
struct DrawCall {
    uint32_t primitiveType = 0;
    int32_t baseVertexIndex = 0;
    uint32_t startIndex = 0;
    uint32_t primitiveCount = 0;
    uint32_t instances = 1;
    const TargetBindings* targets = nullptr;
    Surface* depthStencil = nullptr;
    const Viewport* viewport = nullptr;
    const uint32_t* renderStates = nullptr; // kRenderStateLimit values
    const DeviceStates* states = nullptr;   // samplers and their textures among them
    const std::array<StreamBinding, kMaxStreams>* streams = nullptr;
    const VertexDeclaration* declaration = nullptr;
    const IndexBuffer* indices = nullptr;
    const EffectBinding* effect = nullptr;
};

class Backend {
public:
    virtual ~Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    // True when this backend draws pixels, not only records.
    virtual bool Draws() const = 0;

    // The calls below come validated by the device.
    virtual void Clear(const ClearCall& clear) = 0;
    virtual void Stretch(Surface* source, const Rect& from, Surface* destination, const Rect& to,
                         uint32_t filter) = 0;
    // False when the draw cannot be carried out: its pass's shaders do not
    // link on this drawing.
    virtual bool Draw(const DrawCall& draw) = 0;
    // Every level below the first made from it, where levels are drawn.
    virtual void GenerateMips(Resource* texture) = 0;

    // Before the CPU reads or writes a resource's bytes: the work still owed
    // to them is carried out, and what the GPU drew comes back.
    virtual void SyncToCpu(Resource* resource) = 0;
    // The resource's bytes are about to be freed.
    virtual void RetireBytes(const Resource* resource) = 0;
    // The resource is gone (on any thread).
    virtual void Forget(const Resource* resource) = 0;

    // The back buffer was presented: shown in the device window when it is a
    // real one, and kept for the frame picture when one is wanted.
    virtual void Present(Surface* backBuffer) = 0;
    // The scene's drawing is over: another thread may draw.
    virtual void Pause() = 0;
    // The device is going: a window closing meanwhile need not wait for it.
    virtual void Closing() = 0;

protected:
    explicit Backend(platform::Window* presentWindow) : presentWindow_(presentWindow) {}

    // The back buffer's bytes into the device window, when it is a real one.
    void ShowFromMemory(Surface* backBuffer) const;

    // The bytes behind the device's resources.
    static uint8_t* Bits(const Surface& surface);
    static uint32_t Pitch(const Surface& surface);
    static const TextureLayout& Layout(const BaseTexture& texture);
    static uint8_t* Bytes(const BaseTexture& texture);
    static const uint8_t* Bytes(const Buffer& buffer);

    platform::Window* const presentWindow_; // the device window, else the focus window
};

// The drawing backend where the process's graphics mode asks for drawing
// (platform/gfx/raster/gfx_mode.h) and an OpenGL 4.5 context can be made, on
// the present window's real one when it has one; the recording backend
// otherwise. Drawing that cannot be had, or a frame picture wanted from a
// recording device, is said once.
std::unique_ptr<Backend> MakeBackend(platform::Window* presentWindow);

} // namespace gfx
