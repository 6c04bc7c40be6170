#pragma once
// A small device for fuzz targets whose files hold GPU resources (meshes,
// scenes): made once, quietly, with a 64 x 64 back buffer.
#include "render/device/d3d_context.h"

inline bool StartFuzzDevice()
{
    return CreateQuietDevice(64, 64);
}
