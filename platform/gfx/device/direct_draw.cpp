#include "platform/gfx/device/direct_draw.h"

#include <algorithm>

#include "platform/gfx/device/adapter_memory.h"
#include "platform/gfx/device/hooks.h"

namespace gfx {

Result CreateDirectDraw(DirectDraw** directDraw)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("CreateDirectDraw"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!directDraw) {
        result = kInvalidArgument;
    }
    DirectDraw* made = Succeeded(result) ? new DirectDraw() : nullptr;
    if (directDraw) *directDraw = made;
    detail::RecordCall("CreateDirectDraw", {detail::Arg(made)}, result);
    return result;
}

Result DirectDraw::QueryDirectDraw7(DirectDraw7** directDraw7)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("QueryDirectDraw7"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!directDraw7) {
        result = kInvalidArgument;
    }
    DirectDraw7* made = Succeeded(result) ? new DirectDraw7() : nullptr;
    if (directDraw7) *directDraw7 = made;
    detail::RecordCall("QueryDirectDraw7", {detail::Arg(this), detail::Arg(made)}, result);
    return result;
}

Result DirectDraw7::GetAvailableVidMem(const SurfaceCaps* caps, uint32_t* total, uint32_t* free) const
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("GetAvailableVidMem"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!caps) {
        result = kInvalidArgument;
    } else {
        const uint64_t limit = UINT32_MAX;
        if (total) *total = static_cast<uint32_t>(std::min(VideoMemoryTotal(), limit));
        if (free) *free = static_cast<uint32_t>(std::min(VideoMemoryFree(), limit));
    }
    detail::RecordCall("GetAvailableVidMem", {caps ? caps->caps : 0u}, result);
    return result;
}

} // namespace gfx
