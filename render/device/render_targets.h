#pragma once
// The render device's target binding: the back buffer's target record, the
// record bound as render target 0, binding and unbinding records, the figures
// of the back-buffer viewport, and copies from one surface into a rectangle of
// another.
#include <cstdint>

#include "kernel/math/float4.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/surface.h"

// A viewport with the colour and depth-stencil surfaces drawn into through it.
// The back buffer has one in the render device, every render texture its own;
// passes point at records and never own them.
struct RenderTargetRecord {
    gfx::Viewport viewport{0, 0, 0, 0, 0.0f, 1.0f};
    gfx::Surface* colour = nullptr;
    gfx::Surface* depthStencil = nullptr;
};

class RenderDevice;

class alignas(16) RenderTargets {
public:
    explicit RenderTargets(RenderDevice& owner) : owner_(owner) {}
    RenderTargets(const RenderTargets&) = delete;
    RenderTargets& operator=(const RenderTargets&) = delete;

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

    // Copies the whole source surface into the rectangle (x, y, width, height)
    // of the destination, filtering linearly when `filter` is non-zero. The
    // result is kept in lastResult; a failure is reported ("StretchRect
    // failed. ") and the frame goes on. True on success.
    bool StretchRectTo(gfx::Surface* source, gfx::Surface* destination, uint16_t x, uint16_t y, uint16_t width,
                       uint16_t height, uint8_t filter);

private:
    friend class RenderDevice; // InitDirectDraw measures the back buffer

    // The viewport figures of the back buffer's viewport as it now is.
    void MeasureBackBufferViewport();

    RenderDevice& owner_;
    RenderTargetRecord* currentTarget = nullptr; // bound as render target 0; not owned
    float4 viewportScale;
    float4 viewportOffset;
    float aspectRatio = 0.0f;
    RenderTargetRecord backBufferTarget;
};
