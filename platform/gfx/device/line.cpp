#include "platform/gfx/device/line.h"

#include "platform/gfx/device/hooks.h"

namespace gfx {

Result CreateLine(Device* device, Line** line)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("CreateLine"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!device || !line) {
        result = kInvalidCall;
    }
    if (line) *line = Succeeded(result) ? new Line() : nullptr;
    detail::RecordCall("CreateLine", {detail::Arg(device)}, result);
    return result;
}

} // namespace gfx
