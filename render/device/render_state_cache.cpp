#include "render/device/render_state_cache.h"

#include <iostream>

#include "platform/gfx/device/render_state.h"

void RenderDevice::SetRenderStateCached(uint32_t state, uintptr_t value)
{
    if (!device) {
        lastResult = gfx::kInvalidCall;
    } else if (state == kClipPlaneState && value == 0) {
        lastResult = device->SetRenderState(gfx::kRsClipPlaneEnable, 0);
    } else if (state == kClipPlaneState) {
        const float* plane = reinterpret_cast<const float*>(value);
        clipPlane = {plane[0], plane[1], plane[2], plane[3]};
        // Carries the world-space plane into clip space. Without an applied
        // camera there is no matrix: the plane goes as it is.
        const float4x4 m = camera.invViewProj ? *camera.invViewProj : IdentityMatrix();
        clipMatrix = Transpose(m);
        const float4 p = clipPlane;
        float out[4];
        for (int j = 0; j < 4; ++j)
            out[j] = m(j, 0) * p.x + m(j, 1) * p.y + m(j, 2) * p.z + m(j, 3) * p.w;
        clipPlane = {out[0], out[1], out[2], out[3]};
        device->SetClipPlane(1, out);
        lastResult = device->SetRenderState(gfx::kRsClipPlaneEnable, gfx::kClipPlane0 << 1);
    } else {
        lastResult = device->SetRenderState(state, static_cast<uint32_t>(value));
    }
    if (lastResult != gfx::kOk)
        std::cout << "SetRenderState failed.\n";
}

RenderStateCache::RenderStateCache()
{
    Seed(RendererExists() ? GetRenderer()->Device() : nullptr);
}

void RenderStateCache::Seed(const gfx::Device* device)
{
    renderStates.clear();
    for (uint32_t state = 0; state < gfx::kRenderStateLimit; ++state) {
        if (!gfx::IsRenderState(state))
            continue;
        uint32_t value = gfx::InitialRenderState(state);
        if (device)
            device->GetRenderState(state, &value);
        renderStates[state] = value;
    }
    renderStates[kClipPlaneState] = 0;
}

void RenderStateCache::SetCachedState(uint32_t state, uintptr_t value)
{
    uintptr_t& cached = renderStates[state];
    if (cached != value)
        GetRenderer()->SetRenderStateCached(state, value);
    cached = value;
}

uintptr_t RenderStateCache::CachedValue(uint32_t state) const
{
    const auto found = renderStates.find(state);
    return found == renderStates.end() ? 0 : found->second;
}

void VertexDeclSetter::Apply(uintptr_t value)
{
    RenderDevice* renderer = GetRenderer();
    gfx::Device* device = renderer->Device();
    if (renderer->KeepResult(device ? device->SetVertexDeclaration(reinterpret_cast<gfx::VertexDeclaration*>(value))
                                    : gfx::kInvalidCall) != gfx::kOk)
        std::cout << "SetVertexDeclaration failed.\n";
}

void IndicesSetter::Apply(uintptr_t value)
{
    RenderDevice* renderer = GetRenderer();
    gfx::Device* device = renderer->Device();
    if (renderer->KeepResult(device ? device->SetIndices(reinterpret_cast<gfx::IndexBuffer*>(value))
                                    : gfx::kInvalidCall) != gfx::kOk)
        std::cout << "SetIndices error.\n";
}

void RenderStateToggle::Apply(uintptr_t value)
{
    RenderDevice* renderer = GetRenderer();
    if (state == kClipPlaneState) {
        if (value != 1)
            renderer->SetRenderStateCached(kClipPlaneState, 0);
        return;
    }
    gfx::Device* device = renderer->Device();
    if (renderer->KeepResult(device ? device->SetRenderState(state, value == 1 ? 0xFFFFFFFFu : 0u)
                                    : gfx::kInvalidCall) != gfx::kOk)
        std::cout << "SetRenderState failed.\n";
}
