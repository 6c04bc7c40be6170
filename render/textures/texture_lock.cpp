#include "render/textures/texture_lock.h"

#include "kernel/error_stream.h"
#include "platform/gfx/device/device.h"
#include "render/device/render_device.h"

bool LockTexture(gfx::LockedRect& locked, gfx::Texture* texture, uint16_t level, uint16_t x, uint16_t y,
                 uint16_t width, uint16_t height, uint32_t flags)
{
    RenderDevice* renderer = GetRenderer();
    locked = {};
    const gfx::Rect rect{x, y, x + width, y + height};
    if (gfx::Succeeded(renderer->KeepResult(
            texture ? texture->LockRect(level, &locked, width != 0 ? &rect : nullptr, flags) : gfx::kInvalidCall)))
        return true;
    locked = {};
    errorTwoLines = false;
    GetErrorStream() << "LockRect failed.\n";
    return false;
}

bool UnlockTexture(gfx::Texture* texture, uint16_t level)
{
    RenderDevice* renderer = GetRenderer();
    if (gfx::Succeeded(renderer->KeepResult(texture ? texture->UnlockRect(level) : gfx::kInvalidCall)))
        return true;
    errorTwoLines = false;
    GetErrorStream() << "UnlockRect failed.\n";
    return false;
}

bool UpdateTextureChecked(gfx::BaseTexture* source, gfx::BaseTexture* destination)
{
    RenderDevice* renderer = GetRenderer();
    gfx::Device* device = renderer->Device();
    if (gfx::Succeeded(renderer->KeepResult(device ? device->UpdateTexture(source, destination) : gfx::kInvalidCall)))
        return true;
    errorTwoLines = false;
    GetErrorStream() << "UpdateTexture failed. " << gfx::DescribeResult(renderer->LastResult()) << "\n";
    return false;
}
