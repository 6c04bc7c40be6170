#pragma once
// CameraFrustum: the six planes bounding what a camera sees, built from the
// camera's view-projection matrix. A point is inside when it lies on the inner
// side of all six.
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

// Six planes (a, b, c, d), in the order left, right, top, bottom, near, far,
// and the transpose of the matrix they were built from. A point is inside when
// a x + b y + c z + d >= 0 for all six.
struct alignas(16) CameraFrustum {
    enum Plane { kLeft = 0, kRight, kTop, kBottom, kNear, kFar, kPlaneCount };

    CameraFrustum() { InitCameraFrustum(); }
    void InitCameraFrustum();
    // With M = view x projection the planes are in world space.
    void BuildFrustumPlanes(const float4x4& m);

    float4 planes[kPlaneCount];
    float4x4 matrix;
};
