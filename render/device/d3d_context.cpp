#include "render/device/d3d_context.h"

#include <iostream>
#include <sstream>
#include <string>

#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "kernel/window_handles.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/device/render_device.h"

namespace {

D3DContext* context = nullptr;

// Every capability check is made for this adapter format.
constexpr uint32_t kAdapterFormat = gfx::kFormatX8R8G8B8;
constexpr uint32_t kVertexShader30 = 0xFFFE0300u;
constexpr uint32_t kPixelShader30 = 0xFFFF0300u;

gfx::WindowHandle MainWindow()
{
    return static_cast<gfx::WindowHandle>(GetMainWindowHandle());
}

} // namespace

D3DContext* GetD3DContext()
{
    if (!context)
        context = new D3DContext;
    return context;
}

bool D3DContextExists()
{
    return context != nullptr;
}

void DestroyD3DContext()
{
    if (!context)
        return;
    std::cout << "!";
    context->ReleaseD3D();
    delete context;
    context = nullptr;
}

void D3DContext::CreateD3D()
{
    d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
    std::cout << "Direct3D9 handle: " << static_cast<const void*>(d3d) << "\n";
    stereoHandle = nullptr;
}

void D3DContext::ReportSupport(int supported, std::string_view name)
{
    if (supported != 0) {
        std::cout << "Support for " << name << ": OK\n";
        return;
    }
    errorTwoLines = false;
    GetErrorStream() << "Device doesn't support " << name << "\n";
}

void D3DContext::ReportCaps()
{
    // Without a Direct3D object there is nothing to ask; the device creation
    // that follows reports it.
    if (!d3d)
        return;
    const RenderDevice* renderer = GetRenderer();
    d3d->GetDeviceCaps(gfx::kDefaultAdapter, gfx::kDeviceHal, &caps);

    if (renderer->Graphics().antialiasing == kAntialiasingCsaa) {
        uint32_t levels = 0;
        const gfx::Result result = d3d->CheckDeviceMultiSampleType(gfx::kDefaultAdapter, gfx::kDeviceHal, kAdapterFormat,
                                                                   false, gfx::kMultisample8Samples, &levels);
        ReportSupport(result == gfx::kOk, "CSAA (SampleType check)");
        ReportSupport(levels >= 3, "CSAA (AALevels = " + std::to_string(levels) + ")");
    } else {
        const gfx::Result result = d3d->CheckDeviceMultiSampleType(gfx::kDefaultAdapter, gfx::kDeviceHal, kAdapterFormat,
                                                                   false, renderer->Graphics().antialiasing, nullptr);
        ReportSupport(result == gfx::kOk, "chosen antialiasing mode");
    }
    ReportSupport((caps.caps2 & gfx::kCaps2DynamicTextures) != 0, "dynamic textures");
    ReportSupport((caps.devCaps2 & gfx::kDevCaps2CanStretchRectFromTextures) != 0, "stretching from textures");
    ReportSupport(caps.vertexShaderVersion >= kVertexShader30, "Vertex Shader Model 3.0");
    ReportSupport(caps.pixelShaderVersion >= kPixelShader30, "Pixel Shader Model 3.0");
    if (renderer->Graphics().alphaToCoverage) {
        const gfx::Result result = d3d->CheckDeviceFormat(gfx::kDefaultAdapter, gfx::kDeviceHal, kAdapterFormat, 0,
                                                          gfx::kResourceSurface, gfx::kFourCCAlphaToCoverage);
        ReportSupport(result == gfx::kOk, "Alpha-to-coverage");
    }
}

gfx::PresentParameters D3DContext::PresentParameters() const
{
    const RenderDevice* renderer = GetRenderer();
    gfx::PresentParameters parameters;
    parameters.backBufferWidth = renderer->Graphics().width;
    parameters.backBufferHeight = renderer->Graphics().height;
    parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
    parameters.backBufferCount = 3;
    parameters.multiSampleType = renderer->Resources().MultisampleType();
    parameters.multiSampleQuality = renderer->Resources().MultisampleQuality();
    parameters.swapEffect = gfx::kSwapDiscard;
    parameters.deviceWindow = MainWindow();
    parameters.windowed = !renderer->Graphics().fullscreen;
    parameters.enableAutoDepthStencil = false;
    parameters.autoDepthStencilFormat = 0;
    parameters.flags = 0;
    parameters.fullScreenRefreshRate = 0;
    parameters.presentationInterval = renderer->Graphics().vsync ? gfx::kPresentIntervalOne : gfx::kPresentIntervalImmediate;
    return parameters;
}

bool D3DContext::CreateDevice()
{
    RenderDevice* renderer = GetRenderer();
    ReportCaps();
    gfx::PresentParameters parameters = PresentParameters();

    use3DVision = GetSettings().GetBool("Graphics", "use3DVision");
    if (use3DVision)
        Init3DVision();

    // A size from the settings that the back buffer cannot have is not asked
    // for: the device would refuse it, or be made of the 16 bits kept of it.
    const std::string& sizeProblem = renderer->Graphics().sizeProblem;
    gfx::Device* device = nullptr;
    const gfx::Result result =
        !d3d                  ? gfx::kNotAvailable
        : !sizeProblem.empty() ? gfx::kInvalidCall
                               : d3d->CreateDevice(gfx::kDefaultAdapter, gfx::kDeviceHal, MainWindow(),
                                                   gfx::kCreateHardwareVertexProcessing, &parameters, &device);
    renderer->KeepResult(result);
    renderer->SetDevice(result < 0 ? nullptr : device);
    if (result < 0 || !device) {
        // The settings at fault follow on a line of their own.
        errorTwoLines = d3d && !sizeProblem.empty();
        GetErrorStream() << "Can't create Direct3D device: " << gfx::DescribeResult(result) << "\n";
        if (errorTwoLines)
            GetErrorStream() << sizeProblem;
        // Everything after this needs the device.
        return false;
    }

    ReportSupport(renderer->Device()->CreateQuery(gfx::kQueryEvent, nullptr) == gfx::kOk, "GPU queries");

    if (use3DVision && GetSettings().GetBool("Graphics", "useStereoHandle"))
        InitStereoHandle();

    renderer->InitDirectDraw();
    std::cout << "D3D9Device Handle: " << static_cast<const void*>(renderer->Device()) << "\n";
    return true;
}

void D3DContext::ReleaseD3D()
{
    ReleaseStereoHandle();
    ReleaseDevice();
    if (d3d) {
        d3d->Release();
        d3d = nullptr;
        std::cout << "D3D9 released\n";
    }
}

bool CreateQuietDevice(uint16_t width, uint16_t height)
{
    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());
    GetD3DContext()->CreateD3D();
    GraphicsSettings graphics;
    graphics.width = width;
    graphics.height = height;
    GetRenderer()->SetGraphicsSettings(graphics);
    const bool made = GetD3DContext()->CreateDevice();
    std::cout.rdbuf(saved);
    return made;
}
