// Light alignment to the view: the demonstration's own view camera, light
// node and light cameras, the left mouse button set in the polled input state,
// and "lht" on the effects of its scene's real materials through its light
// constants' loop.
#include "demo/light_alignment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "demo/shadow_demo.h"
#include "kernel/math/euler.h"
#include "kernel/math/quat.h"
#include "render/effects/effect.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
#include "scene/input_devices.h"
#include "tests/demo/demo_world.h"

namespace {

void ExpectNear4(const float4& a, const float4& b, float tolerance = 1e-4f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}

void ExpectSame4(const float4& a, const float4& b)
{
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
    EXPECT_EQ(a.w, b.w);
}

void ExpectSameQ(const quat& a, const quat& b)
{
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
    EXPECT_EQ(a.w, b.w);
}

const float kHalfRoot2 = std::sin(0.7853982f);

class LightAlignmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.Started());
        // Start-up placement of the light, apart from the view.
        lightNode.SetPosition({-20.0f, 28.11f, -21.0f, 1.0f});
        lightNode.SetRotation(QuatFromEulerDegrees(45.0f, 45.0f, 0.0f));
        for (uint32_t k = 0; k < kCasterCount; ++k)
            lightCameras[k].SetPosition({static_cast<float>(k), -7.0f, 9.0f, 1.0f});
        casterCentres[0] = {4, 1, 2, 1};
        casterCentres[1] = {-3, 0, 8, 1};
        casterCentres[2] = {0, 5, -6, 1};
        casterCentres[3] = {10, 2, 10, 1};
        viewCamera.SetPosition({1, 2, 3, 1});
        SetButton(0);
    }
    void TearDown() override { SetButton(0); }

    static void SetButton(uint8_t state) { GetDirectInput()->mouseState.buttons[0] = state; }

    void AddMaterials(uint32_t count)
    {
        scene.CreateUnique();
        demo_test::AddUniqueMaterials(scene, count);
    }
    EffectParamGroup& GroupOf(uint32_t i) { return scene.Materials()->items[i]->GetEffect()->params.Group(""); }
    // The frame's material loop, which runs the alignment for each material.
    void RunLoop() { demo->SetLightConstants(); }
    bool Place() { return PlaceLightAtView(viewCamera, lightNode, lightCameras, casterCentres); }

    demo_test::DemoWorld world;
    std::unique_ptr<ShadowDemo> demo = std::make_unique<ShadowDemo>();
    CameraNode& viewCamera = demo->viewCamera;
    CameraNode& lightNode = demo->dirLightCamera;
    CameraNode (&lightCameras)[kCasterCount] = demo->lightCameras;
    float4 (&casterCentres)[kCasterCount] = demo->casterPositions;
    Scene& scene = demo->scene;
};

TEST(LightDirectionParam, ViewingDirectionWithXAndYNegated)
{
    SceneNode node;
    const float4 straight = LightDirectionParam(node);
    EXPECT_EQ(straight.x, 0.0f);
    EXPECT_EQ(straight.y, 0.0f);
    EXPECT_EQ(straight.z, 1.0f);
    EXPECT_EQ(straight.w, 0.0f);

    // A quarter turn about y looks along +x.
    node.SetRotation(quat{0.0f, kHalfRoot2, 0.0f, kHalfRoot2});
    ExpectNear4(LightDirectionParam(node), {-1, 0, 0, 0}, 1e-6f);

    // Looking up and to the left: (-0.6, 0.8, 0) becomes (0.6, -0.8, 0).
    float4x4 rotation = IdentityMatrix();
    rotation.SetRow(2, {-0.6f, 0.8f, 0.0f, 0.0f});
    ExpectSame4(LightDirectionParam(rotation), {0.6f, -0.8f, 0.0f, 0.0f});
}

TEST_F(LightAlignmentTest, ButtonUpLeavesEverythingAlone)
{
    AddMaterials(2);
    const float4 lightPosition = lightNode.transform.position;
    const quat lightRotation = lightNode.transform.rotation;
    RunLoop();
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(GroupOf(i).vectors.count("lht"), 0u);
        EXPECT_EQ(GroupOf(i).floats.count("lightSize"), 1u) << "the four constants still arrive";
    }
    ExpectSame4(lightNode.transform.position, lightPosition);
    ExpectSameQ(lightNode.transform.rotation, lightRotation);
    for (uint32_t k = 0; k < kCasterCount; ++k)
        ExpectSame4(lightCameras[k].transform.position, {static_cast<float>(k), -7.0f, 9.0f, 1.0f});
}

TEST_F(LightAlignmentTest, IdentityViewPutsEachCameraBesideItsCaster)
{
    SetButton(0x80);
    AddMaterials(1);
    RunLoop();
    const float4 lht = GroupOf(0).vectors["lht"];
    ExpectSame4(lht, {0, 0, 1, 0});

    ExpectSame4(lightNode.transform.position, {1, 2, 3, 1});
    ExpectSameQ(lightNode.transform.rotation, viewCamera.transform.rotation);
    ExpectSame4(lightNode.transform.scale, viewCamera.transform.scale);
    // Unturned at (1, 2, 3): each camera takes its caster's x and y, the viewer's z.
    const float4 expected[kCasterCount] = {{4, 1, 3, 1}, {-3, 0, 3, 1}, {0, 5, 3, 1}, {10, 2, 3, 1}};
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        ExpectNear4(lightCameras[k].transform.position, expected[k], 1e-5f);
        ExpectSameQ(lightCameras[k].transform.rotation, quat{});
        EXPECT_EQ(lightCameras[k].worldDirty, 1) << "the camera's matrices are rebuilt when next asked";
    }
}

TEST_F(LightAlignmentTest, TurnedViewKeepsTheSideOffsetAndDropsTheDepth)
{
    SetButton(0x80);
    viewCamera.SetRotation(quat{0.0f, kHalfRoot2, 0.0f, kHalfRoot2});
    float4x4 rotation;
    viewCamera.GetWorldRotationMatrix(rotation);
    const float4 position = viewCamera.transform.position;
    // Caster 0 on the viewing axis; caster 1 three to the side and five ahead.
    casterCentres[0] = position + rotation.Row(2) * 12.0f;
    casterCentres[1] = position + rotation.Row(0) * 3.0f + rotation.Row(2) * 5.0f;
    casterCentres[1].w = 1.0f;

    AddMaterials(1);
    RunLoop();
    ExpectNear4(GroupOf(0).vectors["lht"], {-1, 0, 0, 0}, 1e-6f);
    ExpectNear4(lightCameras[0].transform.position, position);
    ExpectNear4(lightCameras[1].transform.position, position + rotation.Row(0) * 3.0f);
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        ExpectSameQ(lightCameras[k].transform.rotation, viewCamera.transform.rotation);
        // Every camera sits on the plane through the viewer square to the view.
        const float4 offset = lightCameras[k].transform.position - position;
        EXPECT_NEAR(offset.x * rotation(2, 0) + offset.y * rotation(2, 1) + offset.z * rotation(2, 2), 0.0f, 1e-4f);
    }
}

TEST_F(LightAlignmentTest, SeveralMaterialsGetOneDirectionAndTheSamePlacement)
{
    SetButton(1);
    viewCamera.SetRotation(QuatFromEulerDegrees(20.0f, -35.0f, 5.0f));
    viewCamera.SetPosition({-4, 6, 2, 1});

    AddMaterials(1);
    RunLoop();
    float4 once[kCasterCount];
    for (uint32_t k = 0; k < kCasterCount; ++k)
        once[k] = lightCameras[k].transform.position;
    const float4 onceLht = GroupOf(0).vectors["lht"];

    scene.ReleaseResource();
    AddMaterials(3);
    RunLoop();
    for (uint32_t i = 0; i < 3; ++i)
        ExpectSame4(GroupOf(i).vectors["lht"], onceLht);
    for (uint32_t k = 0; k < kCasterCount; ++k)
        ExpectSame4(lightCameras[k].transform.position, once[k]);
}

TEST_F(LightAlignmentTest, NoMaterialsNothingMoves)
{
    SetButton(0x80);
    RunLoop(); // a scene with no block at all
    AddMaterials(0);
    RunLoop();
    ExpectSame4(lightNode.transform.position, {-20.0f, 28.11f, -21.0f, 1.0f});
    ExpectSame4(lightCameras[2].transform.position, {2, -7, 9, 1});
}

TEST_F(LightAlignmentTest, AMaterialWithoutAnEffectStillTurnsTheLight)
{
    SetButton(0x80);
    AddMaterials(1);
    scene.Materials()->items[0]->ReleaseResource();
    RunLoop();
    ExpectSame4(lightNode.transform.position, {1, 2, 3, 1});
    ExpectSame4(lightCameras[2].transform.position, {0, 5, 3, 1});
}

TEST_F(LightAlignmentTest, ReleasedButtonKeepsTheLastPlacement)
{
    SetButton(0x80);
    AddMaterials(1);
    viewCamera.SetRotation(QuatFromEulerDegrees(0.0f, 30.0f, 0.0f));
    RunLoop();
    const float4 held = lightCameras[3].transform.position;
    const float4 heldLht = GroupOf(0).vectors["lht"];

    SetButton(0);
    viewCamera.SetRotation(QuatFromEulerDegrees(0.0f, 80.0f, 0.0f));
    viewCamera.SetPosition({50, 0, 0, 1});
    RunLoop();
    ExpectSame4(lightCameras[3].transform.position, held);
    ExpectSame4(GroupOf(0).vectors["lht"], heldLht);
    ExpectSameQ(lightNode.transform.rotation, QuatFromEulerDegrees(0.0f, 30.0f, 0.0f));

    // Held again, the light catches up with the view.
    SetButton(0x80);
    RunLoop();
    ExpectSame4(lightNode.transform.position, {50, 0, 0, 1});
}

TEST_F(LightAlignmentTest, ZeroScaleViewKeepsTheCamerasWhereTheyWere)
{
    SetButton(0x80);
    viewCamera.SetScale({0, 0, 0, 1});
    viewCamera.SetRotation(QuatFromEulerDegrees(0.0f, 45.0f, 0.0f));
    EXPECT_FALSE(Place());
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        ExpectSame4(lightCameras[k].transform.position, {static_cast<float>(k), -7.0f, 9.0f, 1.0f});
        ExpectSameQ(lightCameras[k].transform.rotation, viewCamera.transform.rotation);
    }
    // A usable scale again places them as usual.
    viewCamera.SetScale({1, 1, 1, 1});
    EXPECT_TRUE(Place());
    EXPECT_TRUE(std::isfinite(lightCameras[0].transform.position.x));
}

} // namespace
