#include "platform/gfx/raster/gfx_mode.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>

#include "platform/os/paths.h"

namespace gfx {

namespace {
std::atomic<GfxMode> gDefault{GfxMode::Record};

// The folder the process was started in, read before the program makes its
// own folder the current one: a relative capture path names a file there.
const std::string gStartFolder = platform::os::CurrentDirectory().value_or("");
} // namespace

void SetDefaultGfxMode(GfxMode mode)
{
    gDefault = mode;
}

GfxMode CurrentGfxMode()
{
    const char* value = std::getenv("ZANDREL_GFX");
    if (!value || !*value)
        return gDefault;
    if (std::strcmp(value, "raster") == 0)
        return GfxMode::Raster;
    if (std::strcmp(value, "record") == 0)
        return GfxMode::Record;
    static std::once_flag told;
    std::call_once(told, [value] {
        std::cout << "Graphics: ZANDREL_GFX=" << value
                  << " is not a mode (raster draws, record only records); it is left aside.\n";
    });
    return gDefault;
}

std::string CapturePath()
{
    const char* value = std::getenv("ZANDREL_CAPTURE");
    if (!value || !*value)
        return "";
    if (value[0] == '/' || gStartFolder.empty())
        return value;
    return gStartFolder + "/" + value;
}

} // namespace gfx
