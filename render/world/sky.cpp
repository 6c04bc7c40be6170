#include "render/world/sky.h"

#include <cmath>

#include "render/nodes/camera_node.h"

namespace {
constexpr float kPi = 3.1415927f;
} // namespace

void Sky::UpdateSky(float dt)
{
    if (!timeOfDay)
        return;
    const float a0 = *timeOfDay;
    const float a1 = a0 + dt;
    *timeOfDay = a1;

    const float sx = std::sin(a0 * 0.5f);
    const float cx = std::cos(a0 * 0.5f);
    domeNode.SetRotation(quat{}.SetXYZW(sx, 0.0f, 0.0f, cx));
    domeNode.GetWorldMatrix();

    const float b = bodyYaw * kPi;
    const float sy = std::sin(b * 0.5f);
    const float cy = std::cos(b * 0.5f);
    // (sx, 0, 0, cx) x (0, sy, 0, cy): the dome's turn on the left.
    const quat bodies = quat{}.SetXYZW(sx * cy, cx * sy, sx * sy, cx * cy);
    nearBody.SetRotation(bodies);

    const float s1 = std::sin(a1);
    const float c1 = std::cos(a1);
    nearBodyOffset.SetXYZW(0.0f, kSkyNearBodyRadius * s1, -kSkyNearBodyRadius * c1, 1.0f);

    float4 ground{0.0f, 0.0f, 0.0f, 0.0f};
    if (CameraNode* camera = GetActiveCamera()) {
        const float4 at = camera->GetWorldMatrix()->Row(3);
        ground.SetXYZW(at.x, 0.0f, at.z, 0.0f);
    }
    nearBody.SetPosition(ground + nearBodyOffset);
    farBody.SetPosition(float4{0.0f, -kSkyFarBodyRadius * s1, kSkyFarBodyRadius * c1, 1.0f});
    farBody.SetRotation(nearBody.rotation);
}
