// The constants one draw hands its effect: the parameter group "" and then the
// group of the pass, each with the automatic matrices of the draw's world
// matrix and the active camera, and the camera position "PosCam".
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/device/render_device.h"
#include "render/effects/effect.h"
#include "render/frame/draw_record.h"
#include "render/frame/scene_renderer.h"
#include "render/textures/texture_resource.h"

namespace {
const gfx::BaseTexture* TextureOf(TextureResource* handle)
{
    TextureData* data = handle ? handle->GetPayload() : nullptr;
    return data ? data->texture : nullptr;
}

// The group "" without a string made for it each draw.
const std::string& CommonGroup()
{
    static const std::string name;
    return name;
}
} // namespace

void SceneRenderer::ApplyObjectParameters(DrawRecord* item, const float4x4* world, const std::string& passName)
{
    Effect* effect = item ? item->effect : nullptr;
    gfx::RuntimeEffect* compiled = effect ? effect->CurrentEffect() : nullptr;
    if (!compiled)
        return;
    const CameraMatrices& camera = GetRenderer()->Frame().Camera();
    const EffectDrawMatrices matrices{world, camera.view, camera.projection, camera.viewProj, camera.cameraWorld};
    ApplyEffectParamGroup(effect->params.Group(CommonGroup()), *compiled, matrices, TextureOf);
    ApplyEffectParamGroup(effect->params.Group(passName), *compiled, matrices, TextureOf);
}
