#include "demo/light_alignment.h"

#include <cmath>

#include "demo/light_cameras.h"
#include "kernel/math/quat.h"
#include "render/effects/effect.h"
#include "render/nodes/camera_node.h"
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

bool PlaceLightAtView(const SceneNode& viewCamera, CameraNode& lightNode, CameraNode (&lightCameras)[kCasterCount],
                      const float4 (&casterCentres)[kCasterCount])
{
    lightNode.SetPosition(viewCamera.transform.position);
    lightNode.SetRotation(viewCamera.transform.rotation);
    lightNode.SetScale(viewCamera.transform.scale);

    const LightPlaneFrame frame = TakeLightPlaneFrame(lightNode);
    // A NaN position would stay in the light camera for good; keep the old one.
    if (AllFinite(frame.inverse)) {
        PlaceLightCameras(frame, lightNode, casterCentres, lightCameras);
        return true;
    }
    for (CameraNode& camera : lightCameras)
        camera.SetRotation(lightNode.transform.rotation);
    return false;
}
