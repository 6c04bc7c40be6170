#include "platform/gfx/raster/gfx_mode.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace gfx {

namespace {
std::atomic<GfxMode> gDefault{GfxMode::Record};
}

void SetDefaultGfxMode(GfxMode mode)
{
    gDefault = mode;
}

GfxMode CurrentGfxMode()
{
    if (const char* value = std::getenv("ZANDREL_GFX")) {
        if (std::strcmp(value, "raster") == 0)
            return GfxMode::Raster;
        if (std::strcmp(value, "record") == 0)
            return GfxMode::Record;
    }
    return gDefault;
}

std::string CapturePath()
{
    const char* value = std::getenv("ZANDREL_CAPTURE");
    return value ? value : "";
}

} // namespace gfx
