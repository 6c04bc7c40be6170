#include "scene/camera_frustum.h"

#include <cmath>

namespace {

float PlaneLength(const float4& p)
{
    return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
}

float4 Column(const float4x4& m, int j)
{
    return {m(0, j), m(1, j), m(2, j), m(3, j)};
}

} // namespace

void CameraFrustum::InitCameraFrustum()
{
    for (float4& plane : planes)
        plane = float4{};
    matrix.SetIdentity();
}

void CameraFrustum::BuildFrustumPlanes(const float4x4& m)
{
    matrix = Transpose(m);
    const float4 c0 = Column(m, 0), c1 = Column(m, 1), c2 = Column(m, 2), c3 = Column(m, 3);
    planes[kLeft] = c3 + c0;
    planes[kRight] = c3 - c0;
    planes[kTop] = c3 - c1;
    planes[kBottom] = c3 + c1;
    planes[kNear] = c2;
    planes[kFar] = c3 - c2;
    for (float4& plane : planes) {
        const float length = PlaneLength(plane);
        plane = float4{plane.x / length, plane.y / length, plane.z / length, plane.w / length};
    }
}
