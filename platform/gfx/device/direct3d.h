#pragma once
// The graphics system's entry object: reports the adapter's capabilities,
// answers multisample and format checks, and creates the device from
// presentation parameters. There is one adapter (0) of the hardware type.
#include <cstdint>

#include "platform/gfx/device/caps.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/present_parameters.h"
#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/result.h"

namespace gfx {

class Direct3D : public RefCounted {
public:
    Result GetDeviceCaps(uint32_t adapter, uint32_t deviceType, Caps* caps) const;
    // `qualityLevels` (may be null) receives the quality levels of a working type.
    Result CheckDeviceMultiSampleType(uint32_t adapter, uint32_t deviceType, uint32_t surfaceFormat, bool windowed,
                                      uint32_t multiSampleType, uint32_t* qualityLevels) const;
    // kOk when `format` works for `usage` as a resource of `resourceType`;
    // kFourCCAlphaToCoverage asks about alpha-to-coverage.
    Result CheckDeviceFormat(uint32_t adapter, uint32_t deviceType, uint32_t adapterFormat, uint32_t usage,
                             uint32_t resourceType, uint32_t format) const;
    // Makes the back buffers (and the automatic depth buffer when asked) in
    // video memory; the device starts with the back buffer as target 0 and a
    // viewport over all of it.
    Result CreateDevice(uint32_t adapter, uint32_t deviceType, WindowHandle focusWindow, uint32_t behaviourFlags,
                        PresentParameters* parameters, Device** device);

private:
    friend Direct3D* CreateDirect3D(uint32_t sdkVersion);
    Direct3D() = default;
};

// Null for any other SDK version than kSdkVersion (or when a test makes it fail).
Direct3D* CreateDirect3D(uint32_t sdkVersion);

} // namespace gfx
