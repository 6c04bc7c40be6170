#pragma once
// Devices for fuzz targets, each made once and kept for the process with what
// made it: a small engine device for files that hold GPU resources (meshes,
// scenes), and a recording platform device for textures and effects.
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "render/device/d3d_context.h"

inline bool StartFuzzDevice()
{
    return CreateQuietDevice(64, 64);
}

// A 16 x 16 recording device, or null where none can be made.
inline gfx::Device* RecordingDevice()
{
    static gfx::Direct3D* const d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
    static gfx::Device* const device = [] {
        gfx::PresentParameters parameters;
        parameters.backBufferWidth = 16;
        parameters.backBufferHeight = 16;
        parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
        parameters.backBufferCount = 1;
        parameters.swapEffect = gfx::kSwapDiscard;
        parameters.windowed = true;
        gfx::Device* made = nullptr;
        if (d3d)
            d3d->CreateDevice(0, gfx::kDeviceHal, nullptr, gfx::kCreateHardwareVertexProcessing, &parameters, &made);
        return made;
    }();
    return device;
}
