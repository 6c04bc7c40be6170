#include "render/device/d3d_context.h"

#include <iostream>

#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "render/device/render_device.h"

// Stereo never stops the start-up: each step reports its own failure and the
// next one runs whatever the last status was.

namespace {

void Report(const char* message)
{
    errorTwoLines = false;
    GetErrorStream() << message;
}

} // namespace

void D3DContext::Init3DVision()
{
    std::cout << "\nInitializing 3D Vision...\n"
              << "Initializing NvAPI...";
    nvStatus = gfx::stereo::Initialize();
    if (nvStatus != gfx::stereo::kOk)
        Report("Error initializing NvAPI.\n");
    else
        std::cout << "OK.\n";

    std::cout << "Accessing NVIDIA registry key...";
    nvStatus = gfx::stereo::CreateConfigurationProfileRegistryKey(gfx::stereo::kDefaultProfile);
    switch (nvStatus) {
    case gfx::stereo::kOk: std::cout << "OK.\n"; break;
    case gfx::stereo::kRegistryProfileTypeNotSupported: Report("NVAPI_STEREO_REGISTRY_PROFILE_TYPE_NOT_SUPPORTED\n"); break;
    case gfx::stereo::kRegistryAccessFailed: Report("NVAPI_STEREO_REGISTRY_ACCESS_FAILED\n"); break;
    case gfx::stereo::kApiNotInitialized: Report("NVAPI_API_NOT_INTIALIZED\n"); break;
    case gfx::stereo::kStereoNotInitialized: Report("NVAPI_STEREO_NOT_INITIALIZED\n"); break;
    default: Report("NVAPI_ERROR\n"); break;
    }

    std::cout << "Applying stereo settings, convergence...";
    const float convergence = GetSettings().GetFloat("Graphics", "stereoConvergence");
    nvStatus = gfx::stereo::SetConfigurationProfileValue(gfx::stereo::kDefaultProfile, gfx::stereo::kConvergenceValue,
                                                         &convergence);
    switch (nvStatus) {
    case gfx::stereo::kOk: std::cout << "OK.\n"; break;
    case gfx::stereo::kRegistryProfileTypeNotSupported: Report("NVAPI_STEREO_REGISTRY_PROFILE_TYPE_NOT_SUPPORTED\n"); break;
    case gfx::stereo::kRegistryValueNotSupported: Report("NVAPI_STEREO_REGISTRY_VALUE_NOT_SUPPORTED\n"); break;
    default: Report("Error applying convergence.\n"); break;
    }

    std::cout << "Enabling stereo...";
    nvStatus = gfx::stereo::Enable();
    switch (nvStatus) {
    case gfx::stereo::kOk: std::cout << "OK.\n\n"; break;
    case gfx::stereo::kApiNotInitialized: Report("NVAPI_API_NOT_INTIALIZED\n"); break;
    case gfx::stereo::kStereoNotInitialized: Report("NVAPI_STEREO_NOT_INITIALIZED\n"); break;
    default: Report("Error enabling stereo.\n"); break;
    }
}

void D3DContext::InitStereoHandle()
{
    std::cout << "Getting stereo handle...";
    nvStatus = gfx::stereo::CreateHandleFromDevice(GetRenderer()->Device(), &stereoHandle);
    switch (nvStatus) {
    case gfx::stereo::kOk: std::cout << "OK.\n"; break;
    case gfx::stereo::kInvalidArgument: Report("NVAPI_INVALID_ARGUMENT\n"); break;
    case gfx::stereo::kApiNotInitialized: Report("NVAPI_API_NOT_INTIALIZED\n"); break;
    case gfx::stereo::kStereoNotInitialized: Report("NVAPI_STEREO_NOT_INITIALIZED\n"); break;
    default: Report("NvAPI_Stereo_CreateHandleFromIUnknown error.\n"); break;
    }

    std::cout << "Activating stereo handle...";
    nvStatus = gfx::stereo::Activate(stereoHandle);
    if (nvStatus == gfx::stereo::kOk)
        std::cout << "OK.\n\n";
    else
        Report("NvAPI_Stereo_Activate error.\n");

    if (!GetSettings().GetBool("Graphics", "useCustomStereoSettings"))
        return;
    // The separation percentage follows the convergence setting too.
    const float convergence = GetSettings().GetFloat("Graphics", "stereoConvergence");
    std::cout << "\nApplying stereo settings...\n"
              << "Applying convergence...";
    nvStatus = gfx::stereo::SetConvergence(stereoHandle, convergence);
    if (nvStatus == gfx::stereo::kOk)
        std::cout << "OK.\n";
    else
        Report("NvAPI_Stereo_SetConvergence error.\n");

    std::cout << "Applying separation...";
    nvStatus = gfx::stereo::SetSeparation(stereoHandle, convergence);
    if (nvStatus == gfx::stereo::kOk)
        std::cout << "OK.\n\n";
    else
        Report("NvAPI_Stereo_SetSeparation error.\n");
}

void D3DContext::ReleaseStereoHandle()
{
    if (!use3DVision || !stereoHandle)
        return;
    // Deactivating can only fail for a handle that is going anyway.
    nvStatus = gfx::stereo::Deactivate(stereoHandle);
    nvStatus = gfx::stereo::DestroyHandle(stereoHandle);
    if (nvStatus != gfx::stereo::kOk)
        Report("NvAPI_Stereo_DestroyHandle error.\n");
    else
        std::cout << "NvAPI stereoHandle destroyed.\n";
    // Whatever the driver answered, the handle is not used again.
    stereoHandle = nullptr;
}
