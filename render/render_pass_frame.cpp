#include "render/render_pass_frame.h"

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/runtime_effect.h"
#include "platform/gfx/device/render_state.h"
#include "render/draw_record.h"
#include "render/effect.h"
#include "render/render_device.h"
#include "render/renderer_template.h"
#include "render/texture_resource.h"

uint8_t shadowGathering = 0;

namespace {
PassFrameRenderer* current = nullptr;

const gfx::BaseTexture* TextureOf(TextureResource* handle)
{
    TextureData* data = handle ? handle->GetPayload() : nullptr;
    return data ? data->texture : nullptr;
}
} // namespace

PassFrameRenderer* GetPassFrameRenderer()
{
    return current;
}

PassFrameRenderer::PassFrameRenderer()
{
    current = this;
}

PassFrameRenderer::~PassFrameRenderer()
{
    if (current == this)
        current = nullptr;
}

void PassFrameRenderer::ResetFrameLists()
{
    std::vector<LightRecord*>().swap(frameLights);
}

void PassFrameRenderer::DrawInstanced(const std::string& technique, uint8_t colourWrite, uint8_t depthWrite)
{
    renderStates.SetCachedState(gfx::kRsZWriteEnable, depthWrite != 0 ? 1 : 0);
    renderStates.SetCachedState(gfx::kRsColorWriteEnable, colourWrite != 0 ? gfx::kColorWriteAll : 0);
    for (RendererTemplate* list : instanceLists) {
        if (!list)
            continue;
        for (uint32_t i = 0; i < list->instanceArray.count; ++i) {
            DrawRecord* record = list->instanceArray[i];
            const float4x4* world = i < list->instanceMatrices.size() ? list->instanceMatrices[i] : nullptr;
            if (record)
                DrawOne(*record, world, technique);
        }
    }
}

void PassFrameRenderer::DrawOne(DrawRecord& record, const float4x4* world, const std::string& technique)
{
    RenderDevice* renderer = GetRenderer();
    gfx::Device* device = renderer->Device();
    gfx::Effect* effect = record.material ? record.material->CurrentEffect() : nullptr;
    if (!device || !effect || !record.vertexBuffer || !record.indexBuffer)
        return;
    device->SetStreamSource(0, record.vertexBuffer, 0, record.stride0);
    device->SetVertexDeclaration(record.declaration);
    device->SetIndices(record.indexBuffer);
    effect->SetTechnique(technique);
    uint32_t passes = 0;
    if (gfx::Failed(effect->Begin(passes)))
        return;
    const CameraMatrices& camera = renderer->Camera();
    const EffectDrawMatrices matrices{world, camera.view, camera.projection, camera.viewProj, camera.cameraWorld};
    ApplyEffectParams(record.material->params, *effect, technique, matrices, TextureOf);
    uint32_t primitiveType = renderer->PrimitiveType(record.indicesPerPrimitive);
    if (primitiveType == 0)
        primitiveType = gfx::kPrimitiveTriangleList;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        effect->BeginPass(pass);
        renderer->KeepResult(
            device->DrawIndexedPrimitive(primitiveType, 0, 0, record.vertexCount, 0, record.primitiveCount));
        renderer->CountDrawCall();
        effect->EndPass();
    }
    effect->End();
}
