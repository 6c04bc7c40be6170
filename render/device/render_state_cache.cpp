#include "render/device/render_state_cache.h"

#include <iostream>

#include "platform/gfx/device/render_state.h"

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
        GetRenderer()->Frame().SetRenderStateCached(state, value);
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
            renderer->Frame().SetRenderStateCached(kClipPlaneState, 0);
        return;
    }
    gfx::Device* device = renderer->Device();
    if (renderer->KeepResult(device ? device->SetRenderState(state, value == 1 ? 0xFFFFFFFFu : 0u)
                                    : gfx::kInvalidCall) != gfx::kOk)
        std::cout << "SetRenderState failed.\n";
}
