#include "testing/gfx_device_hooks.h"

#include <mutex>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/raster/gl_backend.h"

namespace gfx::detail {

struct ResourceAccess {
    // A test reads what was drawn and may write: the bytes come back from the GPU
    // first and count as changed after.
    static std::span<uint8_t> Bytes(Surface& surface)
    {
        if (BaseTexture* container = surface.Container()) {
            Touch(*container);
        } else {
            surface.SyncToCpu();
            surface.ContentChanged();
        }
        return {surface.Bits(), static_cast<size_t>(LevelSize(surface.Format(), surface.Width(), surface.Height()))};
    }
    static void Touch(BaseTexture& texture)
    {
        texture.SyncToCpu();
        texture.ContentChanged();
    }
    static std::span<const uint8_t> Drawn(Surface& surface)
    {
        if (BaseTexture* container = surface.Container())
            container->SyncToCpu();
        else
            surface.SyncToCpu();
        return {surface.Bits(), static_cast<size_t>(LevelSize(surface.Format(), surface.Width(), surface.Height()))};
    }
    static uint32_t Pitch(const Surface& surface) { return surface.Pitch(); }
    static std::span<uint8_t> Bytes(BaseTexture& texture)
    {
        Touch(texture);
        return {texture.storage_.get(), static_cast<size_t>(texture.layout_.totalBytes)};
    }
    static std::span<uint8_t> Bytes(Buffer& buffer)
    {
        buffer.ContentChanged();
        return {buffer.storage_.get(), buffer.Size()};
    }
};

struct DeviceAccess {
    static void SetLost(Device& device, bool lost) { device.lost_ = lost; }
    static size_t Live(const Device& device) { return device.resources_.size() + device.declarations_.size(); }
    static const raster::RasterDevice* Raster(const Device& device)
    {
        const auto* drawing = dynamic_cast<const raster::GlBackend*>(device.backend_.get());
        return drawing ? &drawing->Raster() : nullptr;
    }
};

} // namespace gfx::detail

namespace platform::testing {

std::span<uint8_t> SurfaceBytes(gfx::Surface& surface)
{
    return gfx::detail::ResourceAccess::Bytes(surface);
}

std::span<const uint8_t> DrawnSurfaceBytes(gfx::Surface& surface)
{
    return gfx::detail::ResourceAccess::Drawn(surface);
}

uint32_t SurfacePitch(const gfx::Surface& surface)
{
    return gfx::detail::ResourceAccess::Pitch(surface);
}

std::span<uint8_t> TextureBytes(gfx::BaseTexture& texture)
{
    return gfx::detail::ResourceAccess::Bytes(texture);
}

std::span<uint8_t> BufferBytes(gfx::Buffer& buffer)
{
    return gfx::detail::ResourceAccess::Bytes(buffer);
}

void SetDeviceLost(gfx::Device& device, bool lost)
{
    gfx::detail::DeviceAccess::SetLost(device, lost);
}

size_t LiveObjects(const gfx::Device& device)
{
    return gfx::detail::DeviceAccess::Live(device);
}

void ShowDrawnFramesFromMemory(bool fromMemory)
{
    gfx::detail::Hooks::Get().windowFromMemory = fromMemory;
}

bool PresentsThroughGl(const gfx::Device& device)
{
    const auto* raster = gfx::detail::DeviceAccess::Raster(device);
    return raster && raster->OnWindow();
}

uint64_t ReadBacks(const gfx::Device& device)
{
    const auto* raster = gfx::detail::DeviceAccess::Raster(device);
    return raster ? raster->ReadBacks() : 0;
}

uint32_t LeakedAtLastDeviceRelease()
{
    gfx::detail::Hooks& hooks = gfx::detail::Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    return hooks.leakedAtLastDeviceRelease;
}

} // namespace platform::testing
