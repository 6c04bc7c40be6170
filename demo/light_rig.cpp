#include "demo/light_rig.h"

#include "render/nodes/camera_node.h"
#include "render/effects/effect.h"
#include "render/resources/material.h"
#include "render/nodes/scene.h"

float4x4 MakeShadowMapBias(float offset)
{
    float4x4 bias;
    bias.SetRow(0, {0.5f, 0.0f, 0.0f, 0.0f});
    bias.SetRow(1, {0.0f, -0.5f, 0.0f, 0.0f});
    bias.SetRow(2, {0.0f, 0.0f, 1.0f, 0.0f});
    bias.SetRow(3, {offset, offset, 0.0f, 1.0f});
    return bias;
}

LightRig::LightRig()
{
    shadowMapBias.SetIdentity();
    selfShadowMapBias.SetIdentity();
    for (float4x4& matrix : lightMatrices)
        matrix.SetIdentity();
    selfShadowMatrix.SetIdentity();
}

void LightRig::SetBiasMatrices()
{
    shadowMapBias = MakeShadowMapBias(kShadowMapBiasOffset);
    selfShadowMapBias = MakeShadowMapBias(kSelfShadowMapBiasOffset);
}

void UpdateLightMatrices(CameraNode* const (&lightCameras)[kLightCameraCount], const float4x4& shadowMapBias,
                         const float4x4& selfShadowMapBias, float4x4 (&lightMatrices)[kLightCameraCount],
                         float4x4& selfShadowMatrix)
{
    for (uint32_t k = kLightCameraCount; k-- > 0;)
        lightCameras[k]->ApplyCamera();
    for (uint32_t k = 0; k < kLightCameraCount; ++k)
        lightMatrices[k] = Multiply(*lightCameras[k]->GetViewProjMatrix(), shadowMapBias);
    selfShadowMatrix = Multiply(*lightCameras[kLightCameraCount - 1]->GetViewProjMatrix(), selfShadowMapBias);
}

void SetLightConstants(Scene& scene, float4x4 (&lightMatrices)[kLightCameraCount], float4x4& selfShadowMatrix,
                       float4 (&casterRadii)[kLightCameraCount], float lightSize,
                       const std::function<void(uint32_t index, Effect* effect)>& afterMaterial)
{
    for (uint32_t i = 0;; ++i) {
        // Afresh each step: whatever runs after a material may touch the list.
        SceneList<MaterialResource>* materials = scene.Materials();
        if (!materials || i >= materials->count)
            return;
        MaterialResource* material = materials->items[i];
        Effect* effect = material ? material->GetEffect() : nullptr;
        if (effect) {
            effect->SetMatrixArray("lightMatrix", lightMatrices, kLightCameraCount, "");
            effect->SetMatrix("lightMatrixSelf", &selfShadowMatrix, "");
            effect->SetVectorArray("casterRadius", casterRadii, kLightCameraCount, "");
            effect->SetFloat("lightSize", lightSize, "");
        }
        if (afterMaterial)
            afterMaterial(i, effect);
    }
}

void LightRig::UpdateLightMatrices(CameraNode* const (&lightCameras)[kLightCameraCount])
{
    ::UpdateLightMatrices(lightCameras, shadowMapBias, selfShadowMapBias, lightMatrices, selfShadowMatrix);
}

void LightRig::SetLightConstants(Scene& scene, const AfterMaterial& afterMaterial)
{
    ::SetLightConstants(scene, lightMatrices, selfShadowMatrix, casterRadii, lightSize, afterMaterial);
}
