#include "render/device/render_targets.h"

#include <cstdint>
#include <string>

#include "kernel/error_stream.h"
#include "platform/gfx/device/device.h"
#include "render/device/render_device.h"

const gfx::Viewport& RenderTargets::CurrentViewport() const
{
    return currentTarget ? currentTarget->viewport : backBufferTarget.viewport;
}

void RenderTargets::BindTarget(uint32_t index, RenderTargetRecord* record)
{
    if (index == 0)
        currentTarget = record;
    gfx::Device* device = owner_.Device();
    if (!device)
        return;
    device->SetRenderTarget(index, record ? record->colour : nullptr);
    if (record) {
        device->SetDepthStencilSurface(record->depthStencil);
        device->SetViewport(&record->viewport);
    }
}

void RenderTargets::UnbindTarget(uint32_t index)
{
    if (gfx::Device* device = owner_.Device())
        device->SetRenderTarget(index, nullptr);
    if (index == 0)
        currentTarget = nullptr;
}

void RenderTargets::ForgetTarget(const RenderTargetRecord* record)
{
    if (currentTarget == record)
        currentTarget = nullptr;
}

void RenderTargets::MeasureBackBufferViewport()
{
    const gfx::Viewport& viewport = backBufferTarget.viewport;
    const float w = static_cast<float>(viewport.width);
    const float h = static_cast<float>(viewport.height);
    viewportScale = {w * 0.5f, -(h * 0.5f), viewport.maxZ - viewport.minZ, 0.0f};
    viewportOffset = {static_cast<float>(viewport.x) + w * 0.5f, static_cast<float>(viewport.y) + h * 0.5f,
                      viewport.minZ, 0.0f};
    // An empty viewport would make the aspect ratio infinite.
    aspectRatio = viewport.height != 0 ? w / h : 0.0f;
}

// The frame renderer runs it after passes that have a copy target.
bool RenderTargets::StretchRectTo(gfx::Surface* source, gfx::Surface* destination, uint16_t x, uint16_t y,
                                  uint16_t width, uint16_t height, uint8_t filter)
{
    gfx::Rect rectangle;
    rectangle.left = x;
    rectangle.top = y;
    rectangle.right = int32_t{x} + width;
    rectangle.bottom = int32_t{y} + height;
    gfx::Device* device = owner_.Device();
    const gfx::Result result = owner_.KeepResult(
        device ? device->StretchRect(source, nullptr, destination, &rectangle,
                                     filter ? gfx::kFilterLinear : gfx::kFilterNone)
               : gfx::kInvalidCall);
    if (gfx::Succeeded(result))
        return true;
    errorTwoLines = false;
    GetErrorStream() << "StretchRect failed. " << gfx::DescribeResult(result)
                     << " src=" << std::to_string(reinterpret_cast<uintptr_t>(source))
                     << ", dest=" << std::to_string(reinterpret_cast<uintptr_t>(destination)) << "\n";
    return false;
}
