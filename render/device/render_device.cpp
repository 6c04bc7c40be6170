#include "render/device/render_device.h"

#include <iostream>

#include "kernel/bounded_setting.h"
#include "kernel/settings.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/present_parameters.h"
#include "platform/gfx/device/render_state.h"

static_assert(alignof(RenderDevice) >= 16, "the render device holds aligned vectors and matrices");

namespace {

RenderDevice* renderer = nullptr;

} // namespace

RenderDevice::RenderDevice() : resources(*this), targets(*this), frame(*this), uploads(*this) {}

RenderDevice::~RenderDevice() = default;

RenderDevice* GetRenderer()
{
    if (!renderer)
        renderer = new RenderDevice;
    return renderer;
}

bool RendererExists()
{
    return renderer != nullptr;
}

void ReleaseDevice()
{
    if (!renderer)
        return;
    // What InitDirectDraw made goes before the device it was made on.
    RenderTargetRecord& backBuffer = renderer->targets.BackBufferTarget();
    gfx::SafeRelease(renderer->line);
    gfx::SafeRelease(backBuffer.depthStencil);
    gfx::SafeRelease(backBuffer.colour);
    renderer->memory.CloseVideoMemoryReading();
    renderer->targets.ForgetTarget(renderer->targets.CurrentTarget());
    if (renderer->device) {
        renderer->device->Release();
        renderer->device = nullptr;
    }
    std::cout << "D3D9Device released\n";
    delete renderer;
    renderer = nullptr;
}

void RenderDevice::CopyGraphicsSettings(const Settings& settings)
{
    graphics.antialiasing = static_cast<uint32_t>(settings.GetInt("Graphics", "antialiasing"));
    graphics.fullscreen = settings.GetBool("Graphics", "fullscreen");
    graphics.sizeProblem.clear();
    for (const char* key : {"width", "height"}) {
        const int side = settings.GetInt("Graphics", key);
        if (side < 1 || side > static_cast<int>(gfx::kMaxBackBufferSide))
            graphics.sizeProblem += DescribeSetting(settings, "Graphics", key) + " is no back-buffer size: 1 to " +
                                    std::to_string(gfx::kMaxBackBufferSide) + " pixels.\n";
    }
    graphics.width = static_cast<uint16_t>(settings.GetInt("Graphics", "width"));
    graphics.height = static_cast<uint16_t>(settings.GetInt("Graphics", "height"));
    graphics.vsync = settings.GetBool("Graphics", "vsync");
    graphics.alphaToCoverage = settings.GetBool("Graphics", "alphaToCoverage");
}

void RenderDevice::InitDirectDraw()
{
    memory.OpenVideoMemoryReading();
    memory.videoMemoryAtStart = memory.GetBusyVideoMemory();

    if (!device)
        return;
    RenderTargetRecord& backBuffer = targets.BackBufferTarget();
    device->GetViewport(&backBuffer.viewport);
    device->GetRenderTarget(0, &backBuffer.colour);

    resources.CreateDepthStencilSurface(&backBuffer.depthStencil, graphics.width, graphics.height,
                                        gfx::kFormatD24S8, 0);

    targets.BindTarget(0, &backBuffer);
    targets.MeasureBackBufferViewport();

    device->SetRenderState(gfx::kRsZEnable, gfx::kZBufferTrue);
    device->SetRenderState(gfx::kRsZWriteEnable, 1);
    device->SetRenderState(gfx::kRsZFunc, gfx::kCompareLessEqual);
    device->SetRenderState(gfx::kRsSrcBlend, gfx::kBlendSrcAlpha);
    device->SetRenderState(gfx::kRsDestBlend, gfx::kBlendInvSrcAlpha);

    frame.SetAllowInstancing(GetSettings().GetBool("Graphics", "allowInstancing"));

    resources.bytesPerTexel[gfx::kFormatA8] = 1.0f;
    resources.bytesPerTexel[gfx::kFormatDXT1] = 0.5f;
    resources.bytesPerTexel[gfx::kFormatDXT5] = 1.0f;

    gfx::CreateLine(device, &line);
}
