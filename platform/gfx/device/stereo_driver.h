#pragma once
// The stereo (3D Vision) driver interface, bound at run time from the graphics
// driver. No such driver exists here: loading it fails, so initialising answers
// "library not found" and every later call "API not initialised", as on a
// machine without it. Tests may script any call's status by its name.
#include <cstdint>

namespace gfx::stereo {

using Status = int32_t;
using Handle = void*;

inline constexpr Status kOk = 0;
inline constexpr Status kError = -1;
inline constexpr Status kLibraryNotFound = -2;
inline constexpr Status kApiNotInitialized = -4;
inline constexpr Status kInvalidArgument = -5;
inline constexpr Status kStereoNotInitialized = -140;
inline constexpr Status kRegistryAccessFailed = -141;
inline constexpr Status kRegistryProfileTypeNotSupported = -142;
inline constexpr Status kRegistryValueNotSupported = -143;

inline constexpr uint32_t kDefaultProfile = 0;
inline constexpr uint32_t kConvergenceValue = 0;

// True when the driver's library could be loaded (never, here).
bool DriverPresent();

Status Initialize();
Status CreateConfigurationProfileRegistryKey(uint32_t profileType);
Status SetConfigurationProfileValue(uint32_t profileType, uint32_t valueId, const float* value);
Status Enable();
// `device` is the graphics device the handle is made for.
Status CreateHandleFromDevice(void* device, Handle* handle);
Status Activate(Handle handle);
Status SetConvergence(Handle handle, float convergence);
Status SetSeparation(Handle handle, float separation);
Status Deactivate(Handle handle);
Status DestroyHandle(Handle handle);

} // namespace gfx::stereo
