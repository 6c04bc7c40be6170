#pragma once
// The line-drawing helper object made for a device. The engine makes one at
// start-up and draws nothing with it, so it carries only its reference count.
#include "platform/gfx/device/ref_counted.h"
#include "platform/gfx/device/result.h"

namespace gfx {

class Device;

class Line : public RefCounted {
private:
    friend Result CreateLine(Device* device, Line** line);
    Line() = default;
};

Result CreateLine(Device* device, Line** line);

} // namespace gfx
