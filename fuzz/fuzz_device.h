#pragma once
// A small device for fuzz targets whose files hold GPU resources (meshes,
// scenes): made once, quietly, with a 64 x 64 back buffer.
#include <iostream>
#include <sstream>

#include "render/d3d_context.h"
#include "render/render_device.h"

inline bool StartFuzzDevice()
{
    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());
    GetD3DContext()->CreateD3D();
    GraphicsSettings graphics;
    graphics.width = 64;
    graphics.height = 64;
    GetRenderer()->SetGraphicsSettings(graphics);
    const bool made = GetD3DContext()->CreateDevice();
    std::cout.rdbuf(saved);
    return made;
}
