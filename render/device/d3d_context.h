#pragma once
// The Direct3D context: owns the Direct3D object, the adapter's capabilities
// and the stereo state, and creates the device from the graphics settings the
// start-up has copied into the render device (capability report, presentation
// parameters, query check, back buffer set-up). GetD3DContext makes it on first
// use; DestroyD3DContext releases stereo handle, device and Direct3D object.
// The 3D Vision steps are in d3d_context_stereo.cpp.
#include <cstdint>
#include <string_view>

#include "platform/gfx/device/caps.h"
#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/present_parameters.h"
#include "platform/gfx/device/stereo_driver.h"

class D3DContext {
public:
    D3DContext() = default;
    virtual ~D3DContext() = default;
    D3DContext(const D3DContext&) = delete;
    D3DContext& operator=(const D3DContext&) = delete;

    // Makes the Direct3D object and prints "Direct3D9 handle: " with it.
    virtual void CreateD3D();
    // Creates the device and finishes its set-up. False when there is no device
    // afterwards (its reason has been reported); the run cannot go on then.
    virtual bool CreateDevice();

    // Reads the capabilities and reports each feature the renderer relies on.
    void ReportCaps();
    // Non-zero prints "Support for <name>: OK"; zero reports "Device doesn't support <name>".
    void ReportSupport(int supported, std::string_view name);
    // The presentation parameters of the render device's copied settings.
    gfx::PresentParameters PresentParameters() const;

    // Stereo: NvAPI, the default profile's convergence and stereo switched on
    // (before the device); the device's stereo handle (after it).
    void Init3DVision();
    void InitStereoHandle();
    // Deactivates and destroys the stereo handle, when 3D Vision is on and one was made.
    void ReleaseStereoHandle();

    // Stereo handle, device and Direct3D object, in that order.
    void ReleaseD3D();

    gfx::Direct3D* d3d = nullptr;
    gfx::Caps caps{};
    bool use3DVision = false;
    int32_t nvStatus = 0;
    gfx::stereo::Handle stereoHandle = nullptr;
};

D3DContext* GetD3DContext();
// True while the context exists (without making it).
bool D3DContextExists();
// When the context exists: prints "!", releases it (ReleaseD3D) and frees it.
void DestroyD3DContext();
// For programs that build GPU resources with nothing to show (the data tool,
// fuzz targets): the Direct3D object and a device with a back buffer of that
// size, made without the start-up's lines. False when there is no device.
bool CreateQuietDevice(uint16_t width, uint16_t height);
