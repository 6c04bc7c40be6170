#pragma once
// The graphics device: makes resources with real memory, keeps render states,
// the other states of device_states.h (samplers and their textures, texture
// stages, transforms, lights, material, shader constants), targets, viewport,
// clip planes, streams, declaration and indices, validates
// and records clears, copies and draws, and counts presented frames. What
// becomes of texels is its backend's (backend.h), chosen when the device is
// made: a recording device clears and copies the bytes once something reads
// them; a rasterizing one (see raster/gfx_mode.h) also draws, through OpenGL,
// and what the GPU drew comes back into a resource's bytes when the CPU locks
// or reads it. Every call a test may want to fail can be injected by its
// name; every call reaches the call record while tests record.
#include <array>
#include <cstdint>
#include <memory>
#include <unordered_set>

#include "platform/gfx/device/backend.h"
#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/caps.h"
#include "platform/gfx/device/device_states.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/effect_binding.h"
#include "platform/gfx/device/present_pacing.h"
#include "platform/gfx/device/present_parameters.h"
#include "platform/gfx/device/query.h"
#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/render_state.h"
#include "platform/gfx/device/resource_storage.h"
#include "platform/gfx/device/result.h"
#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/device/vertex_layout.h"

namespace platform {
class Window;
}

namespace gfx {

namespace detail {
struct DeviceAccess; // the test hooks' handle on a device (lost state, live objects)
}

inline constexpr uint32_t kMaxClipPlanes = 6;

class Device : public RefCounted {
public:
    // Resources. Out pointers receive the new object (one reference) or null.
    Result CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, uint32_t format, uint32_t pool,
                         Texture** texture);
    Result CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, uint32_t format, uint32_t pool,
                             CubeTexture** texture);
    Result CreateVolumeTexture(uint32_t width, uint32_t height, uint32_t depth, uint32_t levels, uint32_t usage,
                               uint32_t format, uint32_t pool, VolumeTexture** texture);
    Result CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSampleType,
                              uint32_t multiSampleQuality, bool lockable, Surface** surface);
    Result CreateDepthStencilSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSampleType,
                                     uint32_t multiSampleQuality, bool discard, Surface** surface);
    Result CreateOffscreenPlainSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t pool,
                                       Surface** surface);
    Result CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool, VertexBuffer** buffer);
    Result CreateIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool, IndexBuffer** buffer);
    // `elements` ends with kDeclEnd.
    Result CreateVertexDeclaration(const VertexElement* elements, VertexDeclaration** declaration);
    // `query` null only asks whether the type is supported.
    Result CreateQuery(uint32_t type, GpuQuery** query);

    // Copies the changed region of a system-memory texture (all matching
    // levels) into a default-pool texture of the same kind, format and size.
    Result UpdateTexture(BaseTexture* source, BaseTexture* destination);
    // `sourceRect` / `destinationRect` null mean the whole surface.
    Result StretchRect(Surface* source, const Rect* sourceRect, Surface* destination, const Rect* destinationRect,
                       uint32_t filter);
    // Bounded by the viewport (and the rectangles when given).
    Result Clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour, float z, uint32_t stencil);

    Result SetRenderState(uint32_t state, uint32_t value);
    Result GetRenderState(uint32_t state, uint32_t* value) const;
    Result SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
    Result GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value) const;
    // The device holds a reference to the texture while it is set.
    Result SetTexture(uint32_t sampler, BaseTexture* texture);
    Result GetTexture(uint32_t sampler, BaseTexture** texture); // adds a reference
    Result SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
    Result GetTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) const;
    Result SetTransform(uint32_t state, const Matrix4* matrix);
    Result GetTransform(uint32_t state, Matrix4* matrix) const;
    Result SetLight(uint32_t index, const Light* light);
    Result GetLight(uint32_t index, Light* light) const; // kInvalidCall for a light never set
    Result LightEnable(uint32_t index, bool enable);      // makes the default light where none was set
    Result GetLightEnable(uint32_t index, bool* enable) const;
    Result SetMaterial(const Material* material);
    Result GetMaterial(Material* material) const;
    // `count` registers from `start`: four floats or ints each, one bool each.
    Result SetVertexShaderConstantF(uint32_t start, const float* values, uint32_t count);
    Result SetVertexShaderConstantI(uint32_t start, const int32_t* values, uint32_t count);
    Result SetVertexShaderConstantB(uint32_t start, const uint32_t* values, uint32_t count);
    Result SetPixelShaderConstantF(uint32_t start, const float* values, uint32_t count);
    Result SetPixelShaderConstantI(uint32_t start, const int32_t* values, uint32_t count);
    Result SetPixelShaderConstantB(uint32_t start, const uint32_t* values, uint32_t count);
    Result SetNPatchMode(float segments);
    // Kept as set: draws take their layout from the vertex declaration.
    Result SetFVF(uint32_t fvf);
    Result GetFVF(uint32_t* fvf) const;
    // Everything above as the device holds it now.
    const DeviceStates& States() const { return states_; }
    Result SetClipPlane(uint32_t index, const float* plane);
    Result GetClipPlane(uint32_t index, float* plane) const;
    // Setting target 0 also sets the viewport to the whole new target.
    Result SetRenderTarget(uint32_t index, Surface* surface);
    Result GetRenderTarget(uint32_t index, Surface** surface); // adds a reference
    Result SetDepthStencilSurface(Surface* surface);
    Result GetDepthStencilSurface(Surface** surface); // adds a reference
    Result SetViewport(const Viewport* viewport);
    Result GetViewport(Viewport* viewport) const;
    Result SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride);
    Result GetStreamSource(uint32_t stream, VertexBuffer** buffer, uint32_t* offset, uint32_t* stride);
    Result SetStreamSourceFreq(uint32_t stream, uint32_t frequency);
    Result GetStreamSourceFreq(uint32_t stream, uint32_t* frequency) const;
    Result SetVertexDeclaration(VertexDeclaration* declaration);
    Result GetVertexDeclaration(VertexDeclaration** declaration);
    Result SetIndices(IndexBuffer* indices);
    Result GetIndices(IndexBuffer** indices);

    Result BeginScene();
    Result EndScene();
    // Presents the back buffer (whole, to the device window, which shows it
    // when it is a real window), returning at the refresh it is shown at when
    // the presentation interval asks to wait for one
    // (platform/gfx/device/present_pacing.h). A lost device answers
    // kDeviceLost from then on, at once.
    Result Present();
    Result DrawIndexedPrimitive(uint32_t type, int32_t baseVertexIndex, uint32_t minVertexIndex, uint32_t numVertices,
                                uint32_t startIndex, uint32_t primitiveCount);
    // The effect pass that draws use from now on; null when no pass is begun.
    // The binding must stay valid while bound; each draw keeps a copy.
    void BindEffect(const EffectBinding* binding);

    Result GetPresentParameters(PresentParameters* parameters) const;
    // What the device's adapter can do: its largest textures, among the rest.
    Result GetDeviceCaps(Caps* caps) const;
    uint64_t FramesPresented() const { return frames_; }
    // True when this device draws pixels, not only records.
    bool Rasterizes() const { return backend_->Draws(); }

private:
    friend class Direct3D;
    friend class Resource;
    friend class VertexDeclaration;
    friend struct detail::DeviceAccess;

    // The back buffers' and the automatic depth buffer's video memory is already reserved.
    // `presentWindow` is the window presented to, with its real one open if there is to be one.
    Device(const PresentParameters& parameters, ResourceStorage backBuffer, uint64_t backBufferBytes,
           ResourceStorage depthBuffer, uint64_t depthBytes, platform::Window* presentWindow);
    ~Device() override;

    void Adopt(Resource* resource) { resources_.insert(resource); }
    void Forget(Resource* resource);
    void AdoptDeclaration(VertexDeclaration* declaration) { declarations_.insert(declaration); }
    void ForgetDeclaration(VertexDeclaration* declaration) { declarations_.erase(declaration); }

    template <class T>
    Result MakeTexture(const char* name, TextureLayout layout, T** texture);
    Result MakeSurface(const char* name, const Surface::Shape& shape, uint64_t videoBytes, Surface** surface);
    Result MakeBuffer(const char* name, ResourceType type, uint32_t length, uint32_t usage, uint32_t format,
                      uint32_t fvf, uint32_t pool, Buffer** buffer);
    // Before the CPU reads or writes a resource's bytes: the clears and copies
    // still waiting for them are carried out, and what the GPU drew comes back.
    void SyncToCpu(Resource* resource) { backend_->SyncToCpu(resource); }
    // The resource's bytes are about to be freed.
    void RetireBytes(const Resource* owner) { backend_->RetireBytes(owner); }
    void GenerateMips(Resource* texture) { backend_->GenerateMips(texture); }
    Result ValidateDraw(uint32_t type, int32_t baseVertexIndex, uint32_t minVertexIndex, uint32_t numVertices,
                        uint32_t startIndex, uint32_t primitiveCount, uint32_t& instances, bool& unboundRead) const;

    PresentParameters parameters_;
    PresentPacer pacer_;
    platform::Window* presentWindow_ = nullptr; // the device window, else the focus window
    std::unique_ptr<Backend> backend_;
    Surface* backBuffer_;
    std::array<uint32_t, kRenderStateLimit> renderStates_{};
    DeviceStates states_;
    std::array<std::array<float, 4>, kMaxClipPlanes> clipPlanes_{};
    TargetBindings renderTargets_{};
    Surface* depthStencil_ = nullptr;
    Viewport viewport_;
    std::array<StreamBinding, kMaxStreams> streams_{};
    VertexDeclaration* declaration_ = nullptr;
    IndexBuffer* indices_ = nullptr;
    const EffectBinding* effect_ = nullptr;
    bool inScene_ = false;
    bool lost_ = false;
    uint64_t frames_ = 0;
    std::unordered_set<Resource*> resources_;
    std::unordered_set<VertexDeclaration*> declarations_;
};

// True when the multisample type and quality work with the adapter as configured.
bool MultisampleWorks(uint32_t type, uint32_t quality);

} // namespace gfx
