#include "demo/light_alignment.h"

#include <cmath>

#include "kernel/math/quat.h"
#include "render/nodes/camera_node.h"
#include "render/effects/effect.h"
#include "scene/input_devices.h"
#include "scene/scene_node.h"

namespace {

bool AllFinite(const float4x4& matrix)
{
    for (float value : matrix.m)
        if (!std::isfinite(value))
            return false;
    return true;
}

} // namespace

float4 LightDirectionParam(const float4x4& worldRotation)
{
    return MulComponents(worldRotation.Row(2), float4{-1.0f, -1.0f, 1.0f, 1.0f});
}

float4 LightDirectionParam(SceneNode& light)
{
    float4x4 rotation;
    return LightDirectionParam(light.GetWorldRotationMatrix(rotation));
}

bool PlaceLightAtView(const LightAlignmentNodes& nodes)
{
    SceneNode& view = *nodes.viewCamera;
    SceneNode& light = *nodes.lightNode;
    // The view camera's own values, not its world ones.
    light.SetPosition(view.transform.position);
    light.SetRotation(view.transform.rotation);
    light.SetScale(view.transform.scale);

    const float4x4 world = *light.GetWorldMatrix();
    const float4x4 inverse = Inverse(world);
    // A NaN position would stay in the light camera for good; keep the old one.
    const bool placed = AllFinite(inverse);
    if (placed) {
        for (uint32_t k = 0; k < kLightCameraCount; ++k) {
            // The caster in the light node's frame, flattened onto its x-y plane.
            float4 t = TransformFloat4(nodes.casterCentres[k], inverse);
            t = MulComponents(t, float4{1.0f, 1.0f, 0.0f, 0.0f});
            nodes.lightCameras[k]->SetPosition(light.transform.position + TransformFloat4(t, world));
        }
    }
    for (uint32_t k = 0; k < kLightCameraCount; ++k)
        nodes.lightCameras[k]->SetRotation(light.transform.rotation);
    return placed;
}

void AlignLightToView(Effect* effect, const LightAlignmentNodes& nodes)
{
    if (GetDirectInput()->IsMouseButtonDown(0) == 0)
        return;
    if (effect) {
        const float4 direction = LightDirectionParam(*nodes.viewCamera);
        effect->SetVector("lht", &direction, "");
    }
    PlaceLightAtView(nodes);
}
