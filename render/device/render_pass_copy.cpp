// The render device's copy of one surface into a rectangle of another, which
// the frame renderer runs after passes that have a copy target.
#include <cstdint>
#include <string>

#include "kernel/error_stream.h"
#include "platform/gfx/device/device.h"
#include "render/device/render_device.h"

bool RenderDevice::StretchRectTo(gfx::Surface* source, gfx::Surface* destination, uint16_t x, uint16_t y,
                                 uint16_t width, uint16_t height, uint8_t filter)
{
    gfx::Rect rectangle;
    rectangle.left = x;
    rectangle.top = y;
    rectangle.right = int32_t{x} + width;
    rectangle.bottom = int32_t{y} + height;
    lastResult = device ? device->StretchRect(source, nullptr, destination, &rectangle,
                                              filter ? gfx::kFilterLinear : gfx::kFilterNone)
                        : gfx::kInvalidCall;
    if (gfx::Succeeded(lastResult))
        return true;
    errorTwoLines = false;
    GetErrorStream() << "StretchRect failed. " << gfx::DescribeResult(lastResult)
                     << " src=" << std::to_string(reinterpret_cast<uintptr_t>(source))
                     << ", dest=" << std::to_string(reinterpret_cast<uintptr_t>(destination)) << "\n";
    return false;
}
