#include "platform/gfx/device/query.h"

#include <cstring>

#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/hooks.h"

namespace gfx {

Result GpuQuery::Issue(uint32_t flags)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("Query::Issue"); injected && Failed(*injected)) {
        result = *injected;
    } else if (flags != kIssueBegin && flags != kIssueEnd) {
        result = kInvalidCall;
    } else if (flags == kIssueBegin) {
        begun_ = true;
    } else {
        begun_ = false;
        pendingPolls_ = detail::Adapter().queryPendingPolls;
    }
    detail::RecordCall("Query::Issue", {detail::Arg(this), flags}, result);
    return result;
}

Result GpuQuery::GetData(void* data, uint32_t size, uint32_t flags)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("Query::GetData"); injected) {
        result = *injected;
    } else if ((data == nullptr) != (size == 0) || (data && size < GetDataSize())) {
        result = kInvalidCall;
    } else if (pendingPolls_ > 0) {
        --pendingPolls_;
        result = kFalse;
    } else if (data) {
        const uint32_t answer = type_ == kQueryEvent ? 1u : 0u;
        std::memcpy(data, &answer, sizeof answer);
    }
    detail::RecordCall("Query::GetData", {detail::Arg(this), size, flags}, result);
    return result;
}

} // namespace gfx
