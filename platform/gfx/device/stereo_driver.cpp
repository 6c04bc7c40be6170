#include "platform/gfx/device/stereo_driver.h"

#include <bit>

#include "platform/gfx/device/hooks.h"

namespace gfx::stereo {

namespace {

// A scripted status wins; otherwise the driver's absence answers.
Status Answer(const char* name, Status absent, std::initializer_list<uint64_t> args, std::initializer_list<float> floats = {})
{
    Status status = absent;
    if (auto injected = detail::TakeInjection(name)) status = *injected;
    detail::RecordCall(name, args, status, floats);
    return status;
}

} // namespace

bool DriverPresent()
{
    return false;
}

Status Initialize()
{
    return Answer("Stereo::Initialize", kLibraryNotFound, {});
}

Status CreateConfigurationProfileRegistryKey(uint32_t profileType)
{
    return Answer("Stereo::CreateConfigurationProfileRegistryKey", kApiNotInitialized, {profileType});
}

Status SetConfigurationProfileValue(uint32_t profileType, uint32_t valueId, const float* value)
{
    if (!value) return Answer("Stereo::SetConfigurationProfileValue", kInvalidArgument, {profileType, valueId});
    return Answer("Stereo::SetConfigurationProfileValue", kApiNotInitialized, {profileType, valueId}, {*value});
}

Status Enable()
{
    return Answer("Stereo::Enable", kApiNotInitialized, {});
}

Status CreateHandleFromDevice(void* device, Handle* handle)
{
    if (handle) *handle = nullptr;
    const Status status = Answer("Stereo::CreateHandleFromDevice", device && handle ? kApiNotInitialized : kInvalidArgument,
                                 {detail::Arg(device)});
    // A scripted success needs a handle to hand out; the device's address serves.
    if (status == kOk && handle) *handle = device;
    return status;
}

Status Activate(Handle handle)
{
    return Answer("Stereo::Activate", kApiNotInitialized, {detail::Arg(handle)});
}

Status SetConvergence(Handle handle, float convergence)
{
    return Answer("Stereo::SetConvergence", kApiNotInitialized, {detail::Arg(handle)}, {convergence});
}

Status SetSeparation(Handle handle, float separation)
{
    return Answer("Stereo::SetSeparation", kApiNotInitialized, {detail::Arg(handle)}, {separation});
}

Status Deactivate(Handle handle)
{
    return Answer("Stereo::Deactivate", kApiNotInitialized, {detail::Arg(handle)});
}

Status DestroyHandle(Handle handle)
{
    return Answer("Stereo::DestroyHandle", kApiNotInitialized, {detail::Arg(handle)});
}

} // namespace gfx::stereo
