#include "render/frame/render_pass_list.h"

#include <cmath>
#include <iostream>

#include "platform/gfx/device/device.h"
#include "platform/os/clock.h"
#include "render/device/render_device.h"
#include "render/frame/render_pass.h"
#include "render/frame/renderer_template.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/textures/texture_resource.h"

uint8_t shadowGathering = 0;

namespace {
// The process clock: it runs from the program's start, so by the first frame
// it is past a periodic pass's first deadline (0).
uint32_t MillisecondsSinceStart()
{
    return static_cast<uint32_t>(platform::os::ProcessClock());
}

PassClock passClock = MillisecondsSinceStart;

constexpr uint32_t kSeparateClearColour = 0x44444444;
constexpr uint32_t kSliceClearColour = 0xFFFFFFFF;

void ClearDevice(uint32_t flags, uint32_t colour, const char* failure)
{
    RenderDevice* renderer = GetRenderer();
    if (gfx::Failed(renderer->KeepResult(renderer->Device()->Clear(0, nullptr, flags, colour, 1.0f, 0))))
        std::cout << failure;
}

void ClearDepth()
{
    ClearDevice(gfx::kClearZBuffer, kSeparateClearColour, "Failed to clear depth.\n");
}

void ClearStencil()
{
    ClearDevice(gfx::kClearStencil, kSeparateClearColour, "Failed to clear stencil.\n");
}

// The clears a pass that keeps its colour makes: its stencil, and its depth
// when it clears depth only. False when the pass clears its colour too.
bool ClearKeptColour(const RenderPass& pass)
{
    if (!pass.keepContents && !pass.clearDepthOnly)
        return false;
    if (pass.clearDepthOnly && !pass.keepContents)
        ClearDepth();
    if (pass.clearStencil)
        ClearStencil();
    return true;
}

void ClearNormal(const RenderPass& pass)
{
    if (ClearKeptColour(pass))
        return;
    if (pass.clearColourOnly) {
        ClearDevice(gfx::kClearTarget, pass.clearColour, "Failed to clear rendertarget.\n");
    } else {
        const uint32_t flags = gfx::kClearTarget | (pass.depthWrite ? gfx::kClearZBuffer : 0) |
                               (pass.clearStencil ? gfx::kClearStencil : 0);
        ClearDevice(flags, pass.clearColour, "Failed to clear rendertarget.\n");
    }
}

void ClearSlice(const RenderPass& pass)
{
    if (ClearKeptColour(pass))
        return;
    const uint32_t flags = gfx::kClearTarget | gfx::kClearZBuffer | (pass.clearStencil ? gfx::kClearStencil : 0);
    ClearDevice(flags, kSliceClearColour, "Failed to clear rendertarget.\n");
}

void BindTargets(const RenderPass& pass)
{
    if (pass.targets.empty()) {
        GetRenderer()->Targets().BindTarget(0, pass.target);
        return;
    }
    for (const auto& [index, record] : pass.targets)
        GetRenderer()->Targets().BindTarget(index, record);
}

void UnbindTargets(const RenderPass& pass)
{
    RenderDevice* renderer = GetRenderer();
    for (const auto& entry : pass.targets)
        renderer->Targets().UnbindTarget(entry.first);
}

// The pass's target into the rectangle of `copy`'s viewport.
void CopyTarget(const RenderPass& pass, const RenderTargetRecord& copy)
{
    const gfx::Viewport& v = copy.viewport;
    GetRenderer()->Targets().StretchRectTo(pass.target ? pass.target->colour : nullptr, copy.colour,
                                           static_cast<uint16_t>(v.x), static_cast<uint16_t>(v.y),
                                           static_cast<uint16_t>(v.width), static_cast<uint16_t>(v.height), 0);
}
} // namespace

void SetPassClock(PassClock clock)
{
    passClock = clock ? clock : MillisecondsSinceStart;
}

uint32_t ReadPassClock()
{
    return passClock();
}

void RenderPassList::RenderPasses()
{
    frameListsReset = 0;
    if (!currentSceneRenderer || !RendererExists() || !GetRenderer()->Device()) {
        ++frameCounter;
        return;
    }
    // The pass whose camera a pass compares its own with: the last pass of
    // the list for the first, then the last pass of this frame that drew.
    const RenderPass* lastDrawn = nullptr;
    for (size_t i = 0; i < passes.size(); ++i) {
        RenderPass& pass = *passes[i];
        const RenderPass& next = i + 1 < passes.size() ? *passes[i + 1] : *passes[0];
        const RenderPass* reference = i == 0 ? passes.back() : (lastDrawn ? lastDrawn : passes[0]);

        bool due = pass.CheckPeriod(ReadPassClock());
        CameraNode* active = GetActiveCamera();
        if (pass.minCameraMove != 0 && active) {
            const float4x4& world = *active->GetWorldMatrix();
            const float4 position = world.Row(3);
            const float dx = position.x - pass.lastCameraPos.x;
            const float dy = position.y - pass.lastCameraPos.y;
            const float dz = position.z - pass.lastCameraPos.z;
            if (std::sqrt(dx * dx + dy * dy + dz * dz) <= static_cast<float>(pass.minCameraMove))
                due = false;
            else
                // Taken whether or not the period is over: the period decides
                // this frame, the move is counted from here on.
                pass.lastCameraPos = position;
        }

        const uint32_t count = due ? Gather(pass, reference ? reference->camera : nullptr) : 0;
        if (pass.mode == kPassShadow && pass.DrawsShadowSlices())
            DrawShadowSlices(pass);
        if (pass.printCount)
            std::cout << count << "\n";
        for (const auto& [carried, flag] : pass.carriedLists) {
            if (flag == 1 && carried)
                const_cast<RenderQueue*>(carried)->Clear();
        }
        if (count > 0 || pass.copyAfterDraw || pass.alwaysDraw) {
            ApplyStates(pass);
            lastDrawn = &pass;
            if (pass.mode == kPassNormal)
                Draw(pass);
            RestoreStates(pass);
            ResetAfterPass(pass, next);
        }
    }
    ++frameCounter;
}

uint32_t RenderPassList::Gather(RenderPass& pass, const CameraNode* referenceCamera)
{
    if (pass.camera && pass.camera != referenceCamera)
        pass.camera->ApplyCamera();
    uint32_t count = 0;
    for (RendererTemplate* renderTemplate : pass.subRenderers) {
        if (!renderTemplate)
            continue;
        if (pass.mode == kPassNormal) {
            ResetFrameListsOnce();
            renderTemplate->Render();
            count += renderTemplate->gatheredCount;
        } else if (pass.mode == kPassShadow) {
            ResetFrameListsOnce();
            const uint32_t kept = renderTemplate->shadowSlice;
            renderTemplate->shadowSlice = pass.shadowSlice;
            pass.RenderLastShadow();
            shadowGathering = 1;
            renderTemplate->Render();
            shadowGathering = 0;
            renderTemplate->shadowSlice = kept;
        }
    }
    return count;
}

void RenderPassList::DrawShadowSlices(RenderPass& pass)
{
    SceneRenderer* frame = currentSceneRenderer;
    ApplyStates(pass);
    for (uint32_t slice = 0; slice < pass.shadowSlices; ++slice) {
        pass.RenderShadow(static_cast<uint8_t>(slice));
        BindTargets(pass);
        ClearSlice(pass);
        frame->DrawInstanced("depth", 1, pass.depthWrite);
    }
    UnbindTargets(pass);
    RestoreStates(pass);
    for (RendererTemplate* renderTemplate : pass.subRenderers)
        if (renderTemplate)
            ResetTemplate(*renderTemplate);
    // A shadow pass without a camera keeps the one that is active.
    if (pass.camera)
        pass.camera->ApplyCamera();
}

void RenderPassList::Draw(RenderPass& pass)
{
    BindTargets(pass);
    if (pass.copyBeforeClear)
        CopyTarget(pass, *pass.copyBeforeClear);
    ClearNormal(pass);
    currentSceneRenderer->DrawInstanced(pass.name, pass.colourWrite, pass.depthWrite);
    UnbindTargets(pass);
    if (pass.copyAfterDraw)
        CopyTarget(pass, *pass.copyAfterDraw);
    if (pass.mipTarget)
        pass.mipTarget->RegenerateTextureMips();
}

void RenderPassList::ResetAfterPass(RenderPass& pass, const RenderPass& next)
{
    for (RendererTemplate* renderTemplate : pass.subRenderers) {
        if (!renderTemplate)
            continue;
        const auto carried = next.carriedLists.find(&renderTemplate->instanceList);
        if (carried != next.carriedLists.end() && carried->second == 1)
            continue;
        if (!renderTemplate->autoReset)
            continue;
        ResetTemplate(*renderTemplate);
    }
}

void RenderPassList::ResetTemplate(RendererTemplate& renderTemplate)
{
    if (renderTemplate.deferReset)
        renderTemplate.resetPending = 1;
    else
        renderTemplate.ResetInstances(&currentSceneRenderer->lights); // a kept template stays as it is
}

void RenderPassList::ResetFrameListsOnce()
{
    if (frameListsReset)
        return;
    currentSceneRenderer->ResetFrameLists();
    frameListsReset = 1;
}

void RenderPassList::ApplyStates(const RenderPass& pass)
{
    RenderStateCache& cache = currentSceneRenderer->renderStates;
    for (const auto& [state, value] : pass.stateOverrides) {
        savedStates[state] = cache.CachedValue(state);
        cache.SetCachedState(state, value);
    }
}

void RenderPassList::RestoreStates(const RenderPass& pass)
{
    RenderStateCache& cache = currentSceneRenderer->renderStates;
    for (const auto& entry : pass.stateOverrides)
        cache.SetCachedState(entry.first, savedStates[entry.first]);
}
