#include "platform/gfx/device/direct3d.h"

#include <new>

#include "platform/gfx/device/adapter_memory.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/pixel_ops.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/device/resource_storage.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/gfx/raster/gl_context.h"
#include "platform/window/screen.h"

namespace gfx {

namespace {

bool IsDisplayFormat(uint32_t format)
{
    return format == kFormatA8R8G8B8 || format == kFormatX8R8G8B8 || format == kFormatR5G6B5 ||
           format == kFormatX1R5G5B5 || format == kFormatA1R5G5B5 || format == kFormatA2R10G10B10;
}

bool ValidInterval(uint32_t interval)
{
    return interval == kPresentIntervalDefault || interval == kPresentIntervalOne || interval == 2 || interval == 4 ||
           interval == 8 || interval == kPresentIntervalImmediate;
}

ResourceStorage Allocate(uint64_t bytes)
{
    return AllocateResourceStorage(bytes);
}

} // namespace

Direct3D* CreateDirect3D(uint32_t sdkVersion)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("CreateDirect3D"); injected && Failed(*injected)) {
        result = *injected;
    } else if (sdkVersion != kSdkVersion) {
        result = kInvalidCall;
    }
    Direct3D* made = Succeeded(result) ? new Direct3D() : nullptr;
    detail::RecordCall("CreateDirect3D", {sdkVersion, detail::Arg(made)}, result);
    return made;
}

Result Direct3D::GetDeviceCaps(uint32_t adapter, uint32_t deviceType, Caps* caps) const
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("GetDeviceCaps"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!caps || adapter != kDefaultAdapter || deviceType != kDeviceHal) {
        result = kInvalidCall;
    } else {
        *caps = detail::Adapter().caps;
        // Drawing for a display with nothing that can draw: no shader runs, and
        // the checks say so rather than leave a window that stays black.
        // Recording devices (tests, headless runs) and runs without a display
        // keep the adapter's figures.
        if (CurrentGfxMode() == GfxMode::Raster && platform::DisplayAvailable() && !raster::GlContext::Possible()) {
            caps->vertexShaderVersion = VertexShaderVersion(0, 0);
            caps->pixelShaderVersion = PixelShaderVersion(0, 0);
        }
    }
    detail::RecordCall("GetDeviceCaps", {adapter, deviceType}, result);
    return result;
}

Result Direct3D::CheckDeviceMultiSampleType(uint32_t adapter, uint32_t deviceType, uint32_t surfaceFormat, bool windowed,
                                            uint32_t multiSampleType, uint32_t* qualityLevels) const
{
    Result result = kOk;
    const detail::AdapterConfig config = detail::Adapter();
    if (auto injected = detail::TakeInjection("CheckDeviceMultiSampleType"); injected && Failed(*injected)) {
        result = *injected;
    } else if (adapter != kDefaultAdapter || deviceType != kDeviceHal || multiSampleType > kMultisampleMaxSamples) {
        result = kInvalidCall;
    } else if (!IsDisplayFormat(surfaceFormat) && !IsDepthFormat(surfaceFormat) && BytesPerTexel(surfaceFormat) == 0) {
        result = kNotAvailable;
    } else if (multiSampleType >= 2 && multiSampleType > config.maxSampleType) {
        result = kNotAvailable;
    } else if (qualityLevels) {
        *qualityLevels = multiSampleType == kMultisampleNone ? 1 : config.qualityLevels;
    }
    detail::RecordCall("CheckDeviceMultiSampleType", {adapter, deviceType, surfaceFormat, windowed ? 1u : 0u,
                                                      multiSampleType},
                       result);
    return result;
}

Result Direct3D::CheckDeviceFormat(uint32_t adapter, uint32_t deviceType, uint32_t adapterFormat, uint32_t usage,
                                   uint32_t resourceType, uint32_t format) const
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("CheckDeviceFormat"); injected && Failed(*injected)) {
        result = *injected;
    } else if (adapter != kDefaultAdapter || deviceType != kDeviceHal || !IsDisplayFormat(adapterFormat)) {
        result = kInvalidCall;
    } else if (format == kFourCCAlphaToCoverage) {
        result = detail::Adapter().alphaToCoverage ? kOk : kNotAvailable;
    } else {
        uint8_t texel[16];
        const bool texels = BytesPerTexel(format) > 0 || IsBlockCompressed(format);
        bool works = texels && format != kFormatIndex16 && format != kFormatIndex32;
        if (usage & kUsageDepthStencil) works = IsDepthFormat(format);
        if (usage & kUsageRenderTarget) works = works && !IsDepthFormat(format) && PackColour(format, 0, texel) != 0;
        if (resourceType == kResourceVertexBuffer) works = true;
        if (resourceType == kResourceIndexBuffer) works = format == kFormatIndex16 || format == kFormatIndex32;
        if (!works) result = kNotAvailable;
    }
    detail::RecordCall("CheckDeviceFormat", {adapter, deviceType, adapterFormat, usage, resourceType, format}, result);
    return result;
}

Result Direct3D::CreateDevice(uint32_t adapter, uint32_t deviceType, WindowHandle focusWindow, uint32_t behaviourFlags,
                              PresentParameters* parameters, Device** device)
{
    Result result = kOk;
    const uint32_t processing = behaviourFlags & (kCreateSoftwareVertexProcessing | kCreateHardwareVertexProcessing |
                                                  kCreateMixedVertexProcessing);
    PresentParameters wanted;
    if (parameters) {
        wanted = *parameters;
        if (wanted.backBufferCount == 0) wanted.backBufferCount = 1;
        if (wanted.backBufferFormat == kFormatUnknown && wanted.windowed) wanted.backBufferFormat = kFormatX8R8G8B8;
    }
    uint64_t backBytes = 0, depthBytes = 0;
    ResourceStorage backStorage, depthStorage;
    if (auto injected = detail::TakeInjection("CreateDevice"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!parameters || !device || adapter != kDefaultAdapter || deviceType != kDeviceHal ||
               (processing != kCreateSoftwareVertexProcessing && processing != kCreateHardwareVertexProcessing &&
                processing != kCreateMixedVertexProcessing)) {
        result = kInvalidCall;
    } else if (wanted.backBufferWidth == 0 || wanted.backBufferHeight == 0 ||
               wanted.backBufferWidth > kMaxBackBufferSide || wanted.backBufferHeight > kMaxBackBufferSide ||
               !IsDisplayFormat(wanted.backBufferFormat) || wanted.backBufferCount > kMaxBackBufferCount ||
               wanted.swapEffect < kSwapDiscard || wanted.swapEffect > kSwapCopy ||
               (wanted.multiSampleType != kMultisampleNone && wanted.swapEffect != kSwapDiscard) ||
               !MultisampleWorks(wanted.multiSampleType, wanted.multiSampleQuality) ||
               (wanted.enableAutoDepthStencil && !IsDepthFormat(wanted.autoDepthStencilFormat)) ||
               !ValidInterval(wanted.presentationInterval) || (wanted.windowed && wanted.fullScreenRefreshRate != 0)) {
        result = kInvalidCall;
    } else {
        const uint64_t samples = wanted.multiSampleType >= 2 ? wanted.multiSampleType : 1;
        const uint64_t plane = LevelSize(wanted.backBufferFormat, wanted.backBufferWidth, wanted.backBufferHeight);
        backBytes = plane * samples * wanted.backBufferCount;
        if (wanted.enableAutoDepthStencil) {
            depthBytes = LevelSize(wanted.autoDepthStencilFormat, wanted.backBufferWidth, wanted.backBufferHeight) * samples;
        }
        if (!ReserveVideoMemory(backBytes + depthBytes)) {
            result = kOutOfVideoMemory;
        } else {
            backStorage = Allocate(plane);
            if (wanted.enableAutoDepthStencil) {
                depthStorage = Allocate(LevelSize(wanted.autoDepthStencilFormat, wanted.backBufferWidth,
                                                  wanted.backBufferHeight));
            }
            if (!backStorage || (wanted.enableAutoDepthStencil && !depthStorage)) {
                FreeVideoMemory(backBytes + depthBytes);
                result = kOutOfMemory;
            }
        }
    }
    Device* made = nullptr;
    if (Succeeded(result)) {
        // With a display, the window presented to becomes a real one of the
        // back buffer's size (or of the desktop's, full screen), before the
        // device: a drawing device draws into it.
        auto* presentWindow = static_cast<platform::Window*>(wanted.deviceWindow ? wanted.deviceWindow : focusWindow);
        if (platform::DisplayAvailable())
            platform::OpenScreen(presentWindow, static_cast<int>(wanted.backBufferWidth),
                                 static_cast<int>(wanted.backBufferHeight), !wanted.windowed);
        made = new Device(wanted, std::move(backStorage), backBytes, std::move(depthStorage), depthBytes,
                          presentWindow);
        *parameters = wanted;
    }
    if (device) *device = made;
    detail::RecordCall("CreateDevice",
                       {adapter, deviceType, detail::Arg(focusWindow), behaviourFlags, detail::Arg(made)}, result);
    return result;
}

} // namespace gfx
