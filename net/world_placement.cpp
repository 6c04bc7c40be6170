#include "net/world_placement.h"

#include <cmath>

#include "kernel/math/float4x4.h"
#include "scene/scene_node.h"

bool SetWorldPosition(SceneNode& node, const float3& position)
{
    float4 local{position.x, position.y, position.z, 1.0f};
    if (SceneNode* parent = node.GetParentNode()) {
        const float4x4 world = *parent->GetWorldMatrix();
        const float det = Determinant(world);
        if (det == 0.0f || !std::isfinite(det))
            return false;
        local = TransformFloat4(local, Inverse(world));
    }
    node.SetPosition(local);
    return true;
}

bool SetWorldRotation(SceneNode& node, const quat& q)
{
    quat local = q;
    if (SceneNode* parent = node.GetParentNode()) {
        quat p;
        parent->GetWorldRotation(p);
        const float norm = p.x * p.x + p.y * p.y + p.z * p.z + p.w * p.w;
        if (norm == 0.0f || !std::isfinite(norm))
            return false;
        local = QuatMultiply(QuatInverse(p), q);
    }
    node.SetRotation(local);
    return true;
}
