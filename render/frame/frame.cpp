// The frame bracket: BeginFrame opens the scene, resets the draw counter and,
// with HDR on, moves the adapted luminance toward the measured one by the
// share of the gap that one frame of HDRadaptationIncrements seconds takes,
// and derives the exposure (never above 1.0). EndFrame closes the scene and
// presents; a lost device is tolerated silently and never reset.
#include <cmath>
#include <iostream>
#include <limits>

#include "kernel/error_stream.h"
#include "kernel/time.h"
#include "platform/gfx/device/device.h"
#include "render/device/render_device.h"
#include "render/frame/scene_renderer.h"

namespace {
// adaptationIncrements / delta truncated toward zero; a quotient that is not
// finite (delta 0) or NaN gives 0, and one beyond the 32-bit range the range's end.
int32_t AdaptationSteps(float increments, double delta)
{
    const double quotient = static_cast<double>(increments) / delta;
    if (!std::isfinite(quotient))
        return 0;
    if (quotient >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (quotient <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(quotient);
}
} // namespace

void SceneRenderer::BeginFrame()
{
    // Without a device (the program never runs a frame without one) there is no frame.
    if (!RendererExists() || !GetRenderer()->Device())
        return;
    RenderDevice* renderer = GetRenderer();
    renderer->Frame().ResetDrawCalls();
    if (gfx::Failed(renderer->KeepResult(renderer->Device()->BeginScene())))
        std::cout << "Failed to begin scene.\n";
    if (!hdrEnabled)
        return;
    if (!averageLighting) {
        errorTwoLines = false;
        GetErrorStream() << "HDR is on, but there is no average lighting data!\n";
        // Nothing measured to adapt to: this frame keeps its exposure.
        return;
    }
    if (std::isnan(adaptedLuminance))
        adaptedLuminance = 1.0f;
    const int32_t steps = AdaptationSteps(adaptationIncrements, GetGlobalDelta());
    const float measured = *averageLighting;
    if (steps > 1)
        adaptedLuminance = adaptedLuminance - (adaptedLuminance - measured) / static_cast<float>(steps);
    else
        adaptedLuminance = measured;
    exposure = 1.0f / adaptedLuminance;
    if (exposure > 1.0f)
        exposure = 1.0f;
}

void SceneRenderer::EndFrame()
{
    if (!RendererExists() || !GetRenderer()->Device())
        return;
    RenderDevice* renderer = GetRenderer();
    gfx::Device* device = renderer->Device();
    if (gfx::Failed(renderer->KeepResult(device->EndScene())))
        std::cout << "Failed to end scene.\n";
    const gfx::Result presented = renderer->KeepResult(device->Present());
    if (gfx::Failed(presented) && presented != gfx::kDeviceLost)
        std::cout << "Failed to present.\n";
}
