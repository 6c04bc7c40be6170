#include "render/frame/render_pass.h"

#include "kernel/error_stream.h"

RenderPass::RenderPass()
{
    stateOverrides[kRsCullMode] = kCullCcw;
    stateOverrides[kRsZFunc] = kCmpLessEqual;
    stateOverrides[kRsSrcBlend] = kBlendSrcAlpha;
    stateOverrides[kRsDestBlend] = kBlendInvSrcAlpha;
}

void RenderPass::RenderShadow(uint8_t /*index*/)
{
    errorTwoLines = false;
    GetErrorStream() << "Non-overloaded shadowing.\n";
}

void RenderPass::RenderLastShadow()
{
    RenderShadow(static_cast<uint8_t>(shadowSlices - 1));
}

bool RenderPass::CheckPeriod(uint32_t now)
{
    if (period == 0)
        return true;
    // One clock reading for both branches: the deadline is then never below
    // the reading used for the progress.
    if (deadline < now) {
        deadline = now + period;
        if (progress)
            *progress = 0.0f;
        return true;
    }
    if (progress)
        *progress = 1.0f - static_cast<float>(deadline - now) / static_cast<float>(period);
    return false;
}
