#include "scene/camera_frustum.h"

#include <gtest/gtest.h>

#include "tests/scene/scene_test_support.h"

TEST(CameraFrustum, PlanesOfTheIdentity)
{
    CameraFrustum frustum;
    for (const float4& plane : frustum.planes)
        ExpectNear4(plane, {0, 0, 0, 0});
    frustum.BuildFrustumPlanes(IdentityMatrix());
    ExpectNear4(frustum.planes[CameraFrustum::kLeft], {1, 0, 0, 1});
    ExpectNear4(frustum.planes[CameraFrustum::kRight], {-1, 0, 0, 1});
    ExpectNear4(frustum.planes[CameraFrustum::kTop], {0, -1, 0, 1});
    ExpectNear4(frustum.planes[CameraFrustum::kBottom], {0, 1, 0, 1});
    ExpectNear4(frustum.planes[CameraFrustum::kNear], {0, 0, 1, 0});
    ExpectNear4(frustum.planes[CameraFrustum::kFar], {0, 0, -1, 1});
    frustum.InitCameraFrustum();
    ExpectNear4(frustum.planes[CameraFrustum::kFar], {0, 0, 0, 0});
}
