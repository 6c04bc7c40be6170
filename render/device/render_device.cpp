#include "render/device/render_device.h"

#include <iostream>

#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/bounded_setting.h"
#include "kernel/settings.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/present_parameters.h"
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

float RenderDevice::BytesPerTexel(uint32_t format) const
{
    const auto entry = bytesPerTexel.find(format);
    return entry != bytesPerTexel.end() && entry->second != 0.0f ? entry->second : 4.0f;
}

const gfx::Viewport& RenderDevice::CurrentViewport() const
{
    return currentTarget ? currentTarget->viewport : backBufferTarget.viewport;
}

void RenderDevice::BindTarget(uint32_t index, RenderTargetRecord* record)
{
    if (index == 0)
        currentTarget = record;
    if (!device)
        return;
    device->SetRenderTarget(index, record ? record->colour : nullptr);
    if (record) {
        device->SetDepthStencilSurface(record->depthStencil);
        device->SetViewport(&record->viewport);
    }
}

void RenderDevice::UnbindTarget(uint32_t index)
{
    if (device)
        device->SetRenderTarget(index, nullptr);
    if (index == 0)
        currentTarget = nullptr;
}

void RenderDevice::ForgetTarget(const RenderTargetRecord* record)
{
    if (currentTarget == record)
        currentTarget = nullptr;
}

void RenderDevice::ForgetCameraIn(const void* begin, const void* end)
{
    const float4x4** pointers[] = {&camera.view, &camera.projection, &camera.cameraWorld, &camera.viewProj,
                                   &camera.invViewProj};
    for (const float4x4** pointer : pointers) {
        const void* target = *pointer;
        if (target >= begin && target < end)
            *pointer = nullptr;
    }
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
    renderer->CloseVideoMemoryReading();
    renderer->currentTarget = nullptr;
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

void RenderDevice::OpenVideoMemoryReading()
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
}

void RenderDevice::CloseVideoMemoryReading()
{
    gfx::SafeRelease(directDraw7);
    gfx::SafeRelease(directDraw);
}

void RenderDevice::InitDirectDraw()
{
    OpenVideoMemoryReading();
    videoMemoryAtStart = GetBusyVideoMemory();

    if (!device)
        return;
    device->GetViewport(&backBufferTarget.viewport);
    device->GetRenderTarget(0, &backBufferTarget.colour);

    CreateDepthStencilSurface(&backBufferTarget.depthStencil, graphics.width, graphics.height, gfx::kFormatD24S8,
                              0);

    BindTarget(0, &backBufferTarget);

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
