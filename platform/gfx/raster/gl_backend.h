#pragma once
// The backend of a device that draws: clears, stretch copies, draws and mip
// levels carried out through OpenGL (raster_device.h) on the GPU copies of the
// device's resources, which follow the versions of their CPU bytes; what the
// GPU drew comes back into a resource's bytes when the CPU reads them. Nothing
// waits on the CPU bytes. Made on the device window's real one, it shows
// presented frames there itself; otherwise a real window shows them from the
// back buffer's bytes, read back first.
#include <memory>
#include <unordered_map>

#include "platform/gfx/device/backend.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/raster/raster_device.h"

namespace gfx::raster {

class GlBackend final : public Backend {
public:
    // Null, said once, when no OpenGL 4.5 context can be made.
    static std::unique_ptr<GlBackend> Create(platform::Window* presentWindow);
    ~GlBackend() override;

    bool Draws() const override { return true; }
    void Clear(const ClearCall& clear) override;
    void Stretch(Surface* source, const Rect& from, Surface* destination, const Rect& to, uint32_t filter) override;
    bool Draw(const DrawCall& call) override;
    void GenerateMips(Resource* texture) override;
    void SyncToCpu(Resource* resource) override;
    void RetireBytes(const Resource*) override {}
    void Forget(const Resource* resource) override;
    void Present(Surface* backBuffer) override;
    void Pause() override { raster_->Pause(); }
    void Closing() override;

    const RasterDevice& Raster() const { return *raster_; }

private:
    GlBackend(platform::Window* presentWindow, std::unique_ptr<RasterDevice> raster);
    ImageView ImageOf(Resource* owner);
    TargetView TargetOf(Surface* surface);

    std::unique_ptr<RasterDevice> raster_;
    int screenWatch_ = 0;    // the drawing path hears of its real window closing
    bool onWindow_ = false;  // made on the real window: presents there itself
    std::unordered_map<const Resource*, TextureLayout> surfaceLayouts_; // standalone surfaces as one-level images
};

} // namespace gfx::raster
