#include "kernel/math/projection.h"

#include <gtest/gtest.h>

#include "kernel/math/euler.h"
#include "kernel/math/rotation_matrix.h"

namespace {

// Clip coordinates divided by w.
float3 Project(const float3& p, const float4x4& m)
{
    const float4 c = TransformFloat4(float4{p.x, p.y, p.z, 1.0f}, m);
    return {c.x / c.w, c.y / c.w, c.z / c.w};
}

void ExpectNear(const float3& actual, const float3& expected, float tolerance = 1e-4f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

} // namespace

TEST(Projection, PerspectiveElementsForAnEightyDegreeView)
{
    const float4x4 p = PerspectiveFovLH(1.3962634f, 800.0f / 600.0f, 0.1f, 1000.0f);
    EXPECT_NEAR(p(0, 0), 0.8938152f, 1e-6f);
    EXPECT_NEAR(p(1, 1), 1.1917536f, 1e-6f);
    EXPECT_NEAR(p(2, 2), 1.0001f, 1e-6f);
    EXPECT_EQ(p(2, 3), 1.0f);
    EXPECT_NEAR(p(3, 2), -0.10001f, 1e-6f);
    EXPECT_EQ(p(3, 3), 0.0f);
    EXPECT_EQ(p(0, 1), 0.0f);
    EXPECT_EQ(p(3, 0), 0.0f);
}

TEST(Projection, PerspectiveIsLeftHandedWithDepthZeroToOne)
{
    const float4x4 p = PerspectiveFovLH(1.5707964f, 1.0f, 1.0f, 100.0f);
    EXPECT_NEAR(Project({0, 0, 1}, p).z, 0.0f, 1e-6f);
    EXPECT_NEAR(Project({0, 0, 100}, p).z, 1.0f, 1e-6f);
    const float middle = Project({0, 0, 10}, p).z;
    EXPECT_GT(middle, 0.0f);
    EXPECT_LT(middle, 1.0f);
    // +x right and +y up stay positive in front of the viewer; w grows with +z.
    ExpectNear(Project({5, 5, 10}, p), {0.5f, 0.5f, Project({0, 0, 10}, p).z});
    EXPECT_GT(TransformFloat4(float4{0, 0, 10, 1}, p).w, 0.0f);
    EXPECT_LT(TransformFloat4(float4{0, 0, -10, 1}, p).w, 0.0f);
}

TEST(Projection, OrthographicElementsAndDepth)
{
    const float4x4 o = OrthographicLH(800.0f * 0.011f, 600.0f * 0.011f, 0.1f, 1000.0f);
    EXPECT_NEAR(o(0, 0), 0.2272727f, 1e-6f);
    EXPECT_NEAR(o(1, 1), 0.3030303f, 1e-6f);
    EXPECT_NEAR(o(2, 2), 0.0010001f, 1e-9f);
    EXPECT_NEAR(o(3, 2), -0.00010001f, 1e-9f);
    EXPECT_EQ(o(3, 3), 1.0f);
    EXPECT_EQ(o(2, 3), 0.0f);
    EXPECT_NEAR(Project({0, 0, 0.1f}, o).z, 0.0f, 1e-6f);
    EXPECT_NEAR(Project({0, 0, 1000.0f}, o).z, 1.0f, 1e-6f);
    ExpectNear(Project({4.4f, -3.3f, 50}, o), {1.0f, -1.0f, Project({0, 0, 50}, o).z});
}

TEST(Projection, ViewFromAWorldMatrixLooksAlongLocalPlusZ)
{
    // A viewer at (5, 0, 0) turned 90 degrees about y: its +z faces world +x,
    // its +x (right) faces world -z, its +y stays up.
    float4x4 world = RotationMatrix(QuatFromEulerDegrees(0, 90, 0));
    world.SetRow(3, {5, 0, 0, 1});
    const float4x4 view = Inverse(world);
    ExpectNear(TransformPoint({15, 0, 0}, view), {0, 0, 10});
    ExpectNear(TransformPoint({5, 0, -1}, view), {1, 0, 0});
    ExpectNear(TransformPoint({5, 1, 0}, view), {0, 1, 0});

    // In front of the viewer and to its right: positive depth, positive x.
    const float4x4 viewProj = view * PerspectiveFovLH(1.5707964f, 1.0f, 1.0f, 100.0f);
    const float3 ahead = Project({15, 0, -2}, viewProj);
    EXPECT_GT(ahead.x, 0.0f);
    EXPECT_GT(ahead.z, 0.0f);
    EXPECT_LT(ahead.z, 1.0f);
}
