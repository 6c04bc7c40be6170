#include "scene/transform.h"

#include <cmath>

#include "kernel/archive.h"
#include "kernel/math/euler.h"
#include "kernel/math/rotation_matrix.h"
#include "kernel/time.h"

namespace {
// The turn of one Rotate argument over this frame: (axis sin h, cos h).
quat FrameTurn(const float4& axisRate, double delta)
{
    const float h = 0.5f * static_cast<float>(delta * axisRate.w);
    const float s = std::sin(h);
    return quat{axisRate.x * s, axisRate.y * s, axisRate.z * s, std::cos(h)};
}
} // namespace

Transform::Transform()
{
    translationMatrix.SetIdentity();
    rotationMatrix.SetIdentity();
    scaleMatrix.SetIdentity();
    localMatrix.SetIdentity();
}

void Transform::Translate(const float4& move, bool world)
{
    const float4 s = move * static_cast<float>(GetGlobalDelta());
    if (world) {
        position = position + s;
    } else {
        position = position + rotationMatrix.Row(0) * s.x + rotationMatrix.Row(1) * s.y +
                   rotationMatrix.Row(2) * s.z + rotationMatrix.Row(3) * s.w;
    }
    MarkPositionChanged();
}

void Transform::SetRotationEuler(float x, float y, float z)
{
    rotation = QuatFromEulerDegrees(x, y, z);
    MarkRotationChanged();
}

void Transform::Rotate(const float4* local, const float4* world1, const float4* world2)
{
    const double delta = GetGlobalDelta();
    if (local)
        rotation = QuatMultiply(rotation, FrameTurn(*local, delta));
    if (world1)
        rotation = QuatMultiply(FrameTurn(*world1, delta), rotation);
    if (world2)
        rotation = QuatMultiply(FrameTurn(*world2, delta), rotation);
    MarkRotationChanged();
}

void Transform::Serialize(Archive& archive)
{
    SerializeTransform(archive);
}

void Transform::SerializeTransform(Archive& archive)
{
    archive.Float4(position);
    float4 r{rotation.x, rotation.y, rotation.z, rotation.w};
    archive.Float4(r);
    if (archive.IsReading())
        rotation = quat{r.x, r.y, r.z, r.w};
    archive.Float4(scale);
}

void Transform::RefreshRotationMatrix()
{
    if (!rotationDirty)
        return;
    rotationMatrix = RotationMatrix(rotation);
    rotationDirty = 0;
}

void Transform::RefreshMatrices()
{
    if (scaleDirty) {
        scaleMatrix.SetIdentity();
        scaleMatrix(0, 0) = scale.x;
        scaleMatrix(1, 1) = scale.y;
        scaleMatrix(2, 2) = scale.z;
        scaleDirty = 0;
    }
    RefreshRotationMatrix();
    if (translationDirty) {
        translationMatrix.SetIdentity();
        translationMatrix.SetRow(3, position);
        translationDirty = 0;
    }
}

const float4x4& Transform::GetLocalMatrix()
{
    RefreshMatrices();
    if (transformDirty) {
        localMatrix = scaleMatrix * rotationMatrix * translationMatrix;
        transformDirty = 0;
        changed = 0;
    }
    return localMatrix;
}

void Transform::SetPosition(const float4& value)
{
    position = value;
    MarkPositionChanged();
}

void Transform::SetRotation(const quat& value)
{
    rotation = value;
    MarkRotationChanged();
}

void Transform::SetScale(const float4& value)
{
    scale = value;
    MarkScaleChanged();
}
