#pragma once
// A device made the way the engine makes it, for the graphics layer's tests.
#include <gtest/gtest.h>

#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"

namespace gfx_test {

inline gfx::PresentParameters EngineParameters(uint32_t width, uint32_t height)
{
    gfx::PresentParameters parameters;
    parameters.backBufferWidth = width;
    parameters.backBufferHeight = height;
    parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
    parameters.backBufferCount = 3;
    parameters.swapEffect = gfx::kSwapDiscard;
    parameters.windowed = true;
    parameters.presentationInterval = gfx::kPresentIntervalImmediate;
    return parameters;
}

struct TestDevice {
    explicit TestDevice(uint32_t width = 64, uint32_t height = 32, bool autoDepth = false)
    {
        d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
        parameters = EngineParameters(width, height);
        parameters.enableAutoDepthStencil = autoDepth;
        parameters.autoDepthStencilFormat = autoDepth ? gfx::kFormatD24S8 : 0u;
        EXPECT_EQ(gfx::kOk, d3d->CreateDevice(0, gfx::kDeviceHal, nullptr, gfx::kCreateHardwareVertexProcessing,
                                              &parameters, &device));
    }
    ~TestDevice()
    {
        gfx::SafeRelease(device);
        gfx::SafeRelease(d3d);
    }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    gfx::Direct3D* d3d = nullptr;
    gfx::Device* device = nullptr;
    gfx::PresentParameters parameters;
};

} // namespace gfx_test
