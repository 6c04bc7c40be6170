#include "render/nodes/camera_node.h"

#include <gtest/gtest.h>

#include <memory>

#include "kernel/engine_threads.h"
#include "kernel/math/euler.h"
#include "render/device/render_device.h"
#include "tests/scene/scene_test_support.h"

namespace {
class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetActiveCamera(nullptr);
        GetRenderer()->Targets().BackBufferTarget().viewport = gfx::Viewport{0, 0, 800, 600, 0.0f, 1.0f};
        GetRenderer()->Targets().BindTarget(0, nullptr);
    }
    void TearDown() override
    {
        SetActiveCamera(nullptr);
        DestroyRenderThread(); // it holds the render device's upload module
        ReleaseDevice();
    }
};
} // namespace

TEST_F(CameraTest, PerspectiveOfAnEightHundredBySixHundredViewport)
{
    CameraNode camera;
    EXPECT_EQ(camera.kind, scene_node_kind::kCamera);
    ExpectRows(*camera.GetProjectionMatrix(),
               {{0.8938152f, 0, 0, 0}, {0, 1.1917536f, 0, 0}, {0, 0, 1.0001f, 1}, {0, 0, -0.10001f, 0}}, 1e-6f);
    EXPECT_EQ(camera.viewportWidth, 800);
    EXPECT_EQ(camera.viewportHeight, 600);
    EXPECT_FLOAT_EQ(camera.aspect, 800.0f / 600.0f);

    // The size is cached at the first projection.
    GetRenderer()->Targets().BackBufferTarget().viewport.width = 1600;
    camera.GetProjectionMatrix();
    EXPECT_EQ(camera.viewportWidth, 800);
}

TEST_F(CameraTest, TheMarkedRadiusTakesTheOtherPerspectivePathToTheSameMatrix)
{
    CameraNode plain, marked;
    marked.radius = kAlternatePerspectiveRadius;
    for (CameraNode* camera : {&plain, &marked}) {
        camera->SetNear(1.0f);
        camera->SetFar(2000.0f);
        camera->SetFov(0.45781732f);
    }
    const float4x4 a = *plain.GetProjectionMatrix();
    const float4x4 b = *marked.GetProjectionMatrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i], b.m[i], 1e-5f * (1.0f + std::fabs(a.m[i]))) << i;
    EXPECT_GT(a(0, 0), 0.0f);
}

TEST_F(CameraTest, OrthographicProjectionsInBothForms)
{
    CameraNode camera;
    camera.orthographic = 1;
    camera.SetFov(0.011f);
    ExpectRows(*camera.GetProjectionMatrix(),
               {{0.2272727f, 0, 0, 0}, {0, 0.3030303f, 0, 0}, {0, 0, 0.0010001f, 0}, {0, 0, -0.00010001f, 1}}, 1e-6f);
    camera.secondProjection = 1;
    ExpectRows(*camera.GetProjectionMatrix(),
               {{0.2272727f, 0, 0, 0}, {0, 0.3030303f, 0, 0}, {0, 0, 0.0010001f, -0.00010001f}, {0, 0, 0, 1}}, 1e-6f);
}

TEST_F(CameraTest, ProjectsPointsToTheViewport)
{
    CameraNode camera;
    float4 out;
    camera.ProjectToViewport(out, {0, 0, 10, 1}, false, true, false);
    ExpectNear4(out, {0.5f, 0.5f, 0.5f, 0.5f});
    camera.ProjectToViewport(out, {0, 0, 10, 1}, false, false, false);
    ExpectNear4(out, {400, 300, 0, 0}, 1e-3f);

    // Behind the camera: culled, or through the divide like any point.
    camera.ProjectToViewport(out, {0, 0, -1, 1}, true, true, false);
    ExpectNear4(out, Splat(-1000000.0f));
    camera.ProjectToViewport(out, {0, 0, -1, 1}, false, true, false);
    EXPECT_FLOAT_EQ(out.z, 0.5f);

    // A point right of and above the view axis lands right of and above the centre.
    camera.ProjectToViewport(out, {1, 1, 10, 1}, true, true, false);
    EXPECT_GT(out.x, 0.5f);
    EXPECT_LT(out.y, 0.5f);

    // With a bound target its viewport gives the pixels; its offsets are not added.
    RenderTargetRecord target;
    target.viewport = gfx::Viewport{100, 100, 256, 128, 0.0f, 1.0f};
    GetRenderer()->Targets().BindTarget(0, &target);
    camera.ProjectToViewport(out, {0, 0, 10, 1}, false, false, false);
    ExpectNear4(out, {128, 64, 0, 0}, 1e-3f);
    GetRenderer()->Targets().BindTarget(0, nullptr);
}

TEST_F(CameraTest, ViewIsTheInverseWorldAndViewOnlyProjectionUsesIt)
{
    CameraNode camera;
    camera.transform.position = {0, 0, -10, 1};
    camera.transform.SetRotationEuler(0, 90, 0); // looks along +x
    const float4x4 view = *camera.GetViewMatrix();
    ExpectNear3(TransformPoint({5, 0, -10}, view), {0, 0, 5});
    ExpectNear3(TransformPoint({0, 0, -10}, view), {0, 0, 0});

    float4 out;
    camera.ProjectToViewport(out, {5, 0, -10, 1}, true, true, true);
    ExpectNear4(out, {0.5f, 0.5f, 0.5f, 0.5f});

    const float4x4 product = *camera.GetViewProjMatrix();
    const float4x4 inverse = *camera.GetInvViewProjMatrix();
    const float4x4 one = product * inverse;
    const float4x4 identity = IdentityMatrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(one.m[i], identity.m[i], 1e-4f) << i;
}

TEST_F(CameraTest, TheFirstCameraBecomesActiveAndApplyingHandsOverItsMatrices)
{
    auto first = std::make_unique<CameraNode>();
    CameraNode second;
    EXPECT_EQ(GetActiveCamera(), first.get());
    second.transform.position = {1, 2, 3, 1};
    second.ApplyCamera();
    EXPECT_EQ(GetActiveCamera(), &second);
    RenderDevice* device = GetRenderer();
    EXPECT_EQ(device->Frame().Camera().view, &second.viewMatrix);
    EXPECT_EQ(device->Frame().Camera().projection, &second.projectionMatrix);
    EXPECT_EQ(device->Frame().Camera().cameraWorld, &second.worldMatrix);
    EXPECT_EQ(device->Frame().Camera().viewProj, &second.viewProjMatrix);
    EXPECT_EQ(device->Frame().Camera().invViewProj, &second.invViewProjMatrix);
    ExpectNear3(device->Frame().Camera().cameraWorld->Row(3).XYZ(), {1, 2, 3});
    // The frustum's matrix is the transpose of the view-projection it came from.
    EXPECT_FLOAT_EQ(second.frustum.matrix(0, 3), second.viewProjMatrix(3, 0));

    // Destroying a camera nobody points at changes nothing.
    first.reset();
    EXPECT_EQ(GetActiveCamera(), &second);
    EXPECT_EQ(device->Frame().Camera().view, &second.viewMatrix);
}

TEST_F(CameraTest, DestroyingTheActiveOrAppliedCameraClearsThePointers)
{
    RenderDevice* device = GetRenderer();
    {
        CameraNode camera;
        camera.ApplyCamera();
        ASSERT_EQ(GetActiveCamera(), &camera);
    }
    EXPECT_EQ(GetActiveCamera(), nullptr);
    EXPECT_EQ(device->Frame().Camera().view, nullptr);
    EXPECT_EQ(device->Frame().Camera().projection, nullptr);
    EXPECT_EQ(device->Frame().Camera().cameraWorld, nullptr);
    EXPECT_EQ(device->Frame().Camera().viewProj, nullptr);
    EXPECT_EQ(device->Frame().Camera().invViewProj, nullptr);

    // Applied, then another made active: the device still points at the first.
    auto applied = std::make_unique<CameraNode>();
    CameraNode other;
    applied->ApplyCamera();
    SetActiveCamera(&other);
    applied.reset();
    EXPECT_EQ(device->Frame().Camera().viewProj, nullptr);
    EXPECT_EQ(GetActiveCamera(), &other);
}

TEST_F(CameraTest, ProjectionWithoutAnyDeviceDoesNotReadThroughNull)
{
    DestroyRenderThread();
    ReleaseDevice();
    ASSERT_FALSE(RendererExists());
    CameraNode camera;
    float4 out;
    camera.ProjectToViewport(out, {0, 0, 10, 1}, false, false, false);
    EXPECT_FALSE(RendererExists());
    EXPECT_EQ(camera.viewportHeight, 0); // nothing cached: read again next time
}
