#include "render/render_device.h"

#include <iostream>

#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/render_state.h"

static_assert(alignof(RenderDevice) >= 16, "the render device holds aligned vectors and matrices");

namespace {

RenderDevice* renderer = nullptr;

} // namespace

RenderDevice::RenderDevice()
{
    primitiveTypes[2] = gfx::kPrimitiveLineList;
    primitiveTypes[3] = gfx::kPrimitiveTriangleList;
    clipMatrix.SetIdentity();
    GetRenderThread()->AddModule(this);
    nextUploadCheck = 0.0;
}

RenderDevice::~RenderDevice()
{
    bytesPerTexel.clear();
}

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
    gfx::SafeRelease(renderer->line);
    gfx::SafeRelease(renderer->backBufferTarget.depthStencil);
    gfx::SafeRelease(renderer->backBufferTarget.colour);
    gfx::SafeRelease(renderer->directDraw7);
    gfx::SafeRelease(renderer->directDraw);
    renderer->currentTarget = nullptr;
    if (renderer->device) {
        renderer->device->Release();
        renderer->device = nullptr;
    }
    std::cout << "D3D9Device released\n";
    delete renderer;
    renderer = nullptr;
}

void RenderDevice::InitDirectDraw()
{
    videoMemoryCaps = {};
    videoMemoryCaps.caps =
        gfx::kSurfaceCapsVideoMemory | gfx::kSurfaceCapsLocalVideoMemory | gfx::kSurfaceCapsNonLocalVideoMemory;

    if (gfx::CreateDirectDraw(&directDraw) != gfx::kOk) {
        errorTwoLines = false;
        GetErrorStream() << "Can't initialize DirectDraw.\n";
    }
    if (!directDraw || directDraw->QueryDirectDraw7(&directDraw7) != gfx::kOk) {
        errorTwoLines = false;
        GetErrorStream() << "Can't query DirectDraw interface.\n";
    }
    videoMemoryAtStart = GetBusyVideoMemory();

    if (!device)
        return;
    device->GetViewport(&backBufferTarget.viewport);
    device->GetRenderTarget(0, &backBufferTarget.colour);

    CreateDepthStencilSurface(&backBufferTarget.depthStencil, width, height, gfx::kFormatD24S8, 0);

    device->SetRenderTarget(0, backBufferTarget.colour);
    device->SetDepthStencilSurface(backBufferTarget.depthStencil);
    currentTarget = &backBufferTarget;
    device->SetViewport(&backBufferTarget.viewport);

    const gfx::Viewport& viewport = backBufferTarget.viewport;
    const float w = static_cast<float>(viewport.width);
    const float h = static_cast<float>(viewport.height);
    viewportScale = {w * 0.5f, -(h * 0.5f), viewport.maxZ - viewport.minZ, 0.0f};
    viewportOffset = {static_cast<float>(viewport.x) + w * 0.5f, static_cast<float>(viewport.y) + h * 0.5f,
                      viewport.minZ, 0.0f};
    // An empty viewport would make the aspect ratio infinite.
    aspectRatio = viewport.height != 0 ? w / h : 0.0f;

    device->SetRenderState(gfx::kRsZEnable, gfx::kZBufferTrue);
    device->SetRenderState(gfx::kRsZWriteEnable, 1);
    device->SetRenderState(gfx::kRsZFunc, gfx::kCompareLessEqual);
    device->SetRenderState(gfx::kRsSrcBlend, gfx::kBlendSrcAlpha);
    device->SetRenderState(gfx::kRsDestBlend, gfx::kBlendInvSrcAlpha);

    allowInstancing = GetSettings().GetBool("Graphics", "allowInstancing");

    bytesPerTexel[gfx::kFormatA8] = 1.0f;
    bytesPerTexel[gfx::kFormatDXT1] = 0.5f;
    bytesPerTexel[gfx::kFormatDXT5] = 1.0f;

    gfx::CreateLine(device, &line);
}
