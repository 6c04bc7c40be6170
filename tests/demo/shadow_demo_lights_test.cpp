// The demonstration's light steps of the frame: the shadow texture matrices
// from its four light cameras through the start-up's bias matrices, and the
// light constants registered with the effects of its scene's real materials.
#include <gtest/gtest.h>

#include <memory>

#include "demo/shadow_demo.h"
#include "kernel/math/euler.h"
#include "render/effects/effect.h"
#include "tests/demo/demo_world.h"

using demo_test::DemoWorld;

namespace {

void ExpectSameMatrix(const float4x4& a, const float4x4& b)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(a.m[i], b.m[i]) << "element " << i;
}

// Texture coordinates of a clip-space point through a texture matrix.
float4 Project(const float4& p, const float4x4& m)
{
    const float4 t = TransformFloat4(p, m);
    return {t.x / t.w, t.y / t.w, t.z / t.w, 1.0f};
}

class DemoLights : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.Started());
        demo = std::make_unique<ShadowDemo>();
    }
    void TearDown() override { demo.reset(); }

    // The start-up, or, for a demonstration left unstarted, four different
    // light camera placements, so that a mix-up of cameras shows.
    void Start()
    {
        demo->InitDemo();
        world.ClearOut();
    }
    void PlaceLightCameras()
    {
        for (uint32_t k = 0; k < kCasterCount; ++k) {
            CameraNode& camera = demo->lightCameras[k];
            camera.SetPosition({-20.0f + 3.0f * static_cast<float>(k), 28.11f, -21.0f, 1.0f});
            camera.SetRotation(QuatFromEulerDegrees(45.0f, 45.0f + 10.0f * static_cast<float>(k), 0.0f));
            camera.SetFov(0.2f + 0.1f * static_cast<float>(k));
        }
    }
    Effect& EffectOf(uint32_t i) { return *demo->scene.Materials()->items[i]->GetEffect(); }
    static bool HasAllFour(Effect& effect)
    {
        EffectParamGroup& group = effect.params.Group("");
        return group.matrixArrays.count("lightMatrix") && group.matrices.count("lightMatrixSelf") &&
               group.vectorArrays.count("casterRadius") && group.floats.count("lightSize");
    }

    DemoWorld world;
    std::unique_ptr<ShadowDemo> demo;
};

} // namespace

TEST_F(DemoLights, BiasMatricesMapClipSpaceHalfATexelPastTheMapsCentre)
{
    Start();
    const float4x4& bias = demo->texBiasMatrix;
    const float4x4& selfBias = demo->selfBiasMatrix;
    const float rows[16] = {0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.501953125f, 0.501953125f, 0, 1};
    const float selfRows[16] = {0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.50048828125f, 0.50048828125f, 0, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(bias.m[i], rows[i]) << i;
        EXPECT_EQ(selfBias.m[i], selfRows[i]) << i;
    }

    // Clip space to texture space: the axis to the map's centre plus half a
    // texel, the edges a map's width apart, v growing downwards, depth kept.
    const float4 centre = Project({0, 0, 0.25f, 1}, bias);
    EXPECT_EQ(centre.x, 0.501953125f);
    EXPECT_EQ(centre.y, 0.501953125f);
    EXPECT_EQ(centre.z, 0.25f);
    EXPECT_EQ(Project({-2, 0, 0, 2}, bias).x, 0.001953125f);
    EXPECT_EQ(Project({2, 0, 0, 2}, bias).x, 1.001953125f);
    EXPECT_EQ(Project({0, 2, 0, 2}, bias).y, 0.001953125f);
    EXPECT_EQ(Project({0, 0, 0, 1}, selfBias).x, 0.50048828125f);
    EXPECT_EQ(Project({0, 0, 0, 1}, selfBias).y, 0.50048828125f);
    EXPECT_EQ(Project({-1, 0, 0, 1}, selfBias).x, 0.00048828125f);
    EXPECT_EQ(Project({1, 0, 0, 1}, selfBias).x, 1.00048828125f);
    EXPECT_EQ(Project({0, 1, 0, 1}, selfBias).y, 0.00048828125f);
}

TEST_F(DemoLights, BeforeTheStartUpTheMatricesAreTheViewProjectionMatrices)
{
    PlaceLightCameras();
    demo->UpdateLightMatrices();
    for (uint32_t k = 0; k < kCasterCount; ++k)
        ExpectSameMatrix(demo->lightMatrices[k], *demo->lightCameras[k].GetViewProjMatrix());
    ExpectSameMatrix(demo->lightMatrixSelf, *demo->lightCameras[3].GetViewProjMatrix());
}

TEST_F(DemoLights, ShadowMatricesAreViewProjectionTimesBias)
{
    Start();
    demo->UpdateLightMatrices();
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        CameraNode& camera = demo->lightCameras[k];
        const float4x4 vp = *camera.GetViewProjMatrix();
        const float4x4& m = demo->lightMatrices[k];
        for (int r = 0; r < 4; ++r) {
            EXPECT_FLOAT_EQ(m(r, 0), 0.5f * vp(r, 0) + 0.501953125f * vp(r, 3)) << k;
            EXPECT_FLOAT_EQ(m(r, 1), -0.5f * vp(r, 1) + 0.501953125f * vp(r, 3)) << k;
            EXPECT_EQ(m(r, 2), vp(r, 2)) << k;
            EXPECT_EQ(m(r, 3), vp(r, 3)) << k;
        }
        // A world point on light k's view axis lands on its map's centre.
        const float4 onAxis = camera.transform.position + camera.GetWorldMatrix()->Row(2) * 40.0f;
        const float4 uv = Project(onAxis, m);
        EXPECT_NEAR(uv.x, 0.501953125f, 1e-5f) << k;
        EXPECT_NEAR(uv.y, 0.501953125f, 1e-5f) << k;
    }

    // The self-shadow matrix comes from light camera 3's same matrix.
    const float4x4& self = demo->lightMatrixSelf;
    const float4x4& light3 = demo->lightMatrices[3];
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(self(r, 2), light3(r, 2));
        EXPECT_EQ(self(r, 3), light3(r, 3));
        const float difference = (0.50048828125f - 0.501953125f) * light3(r, 3);
        EXPECT_NEAR(self(r, 0) - light3(r, 0), difference, 1e-5f);
        EXPECT_NEAR(self(r, 1) - light3(r, 1), difference, 1e-5f);
    }
}

TEST_F(DemoLights, LightCameraZeroIsLeftActiveAndMovesShowNextUpdate)
{
    PlaceLightCameras();
    demo->viewCamera.ApplyCamera();
    ASSERT_EQ(GetActiveCamera(), &demo->viewCamera);
    demo->UpdateLightMatrices();
    EXPECT_EQ(GetActiveCamera(), &demo->lightCameras[0]);
    EXPECT_EQ(GetRenderer()->Frame().Camera().viewProj, &demo->lightCameras[0].viewProjMatrix);

    // A camera moved after the update keeps its old matrix until the next one.
    const float4x4 before = demo->lightMatrices[2];
    demo->lightCameras[2].SetPosition({5, 5, 5, 1});
    ExpectSameMatrix(demo->lightMatrices[2], before);
    demo->UpdateLightMatrices();
    EXPECT_NE(demo->lightMatrices[2].m[12], before.m[12]);
}

TEST_F(DemoLights, EveryMaterialGetsTheFourConstantsByAddressAndTheSizeByValue)
{
    demo->scene.CreateUnique();
    demo_test::AddUniqueMaterials(demo->scene, 3);
    demo->lightSize = 0.25f;
    demo->SetLightConstants();
    for (uint32_t i = 0; i < 3; ++i) {
        EffectParamGroup& group = EffectOf(i).params.Group("");
        EXPECT_EQ(group.matrixArrays["lightMatrix"], demo->lightMatrices);
        EXPECT_EQ(group.matrixArrayCounts["lightMatrix"], 4u);
        EXPECT_EQ(group.matrices["lightMatrixSelf"], &demo->lightMatrixSelf);
        EXPECT_EQ(group.vectorArrays["casterRadius"], demo->casterRadius);
        EXPECT_EQ(group.vectorArrayCounts["casterRadius"], 4u);
        EXPECT_EQ(group.floats["lightSize"], 0.25f);
        EXPECT_EQ(EffectOf(i).params.groups.size(), 1u) << "only the group with the empty name";
    }

    // The size is a copy: a change after the call reaches the effects at the next one.
    demo->lightSize = 0.75f;
    EXPECT_EQ(EffectOf(1).params.Group("").floats["lightSize"], 0.25f);
    demo->SetLightConstants();
    EXPECT_EQ(EffectOf(1).params.Group("").floats["lightSize"], 0.75f);
}

TEST_F(DemoLights, AMaterialWithoutAnEffectIsPassedOver)
{
    demo->scene.CreateUnique();
    demo_test::AddUniqueMaterials(demo->scene, 3);
    demo->scene.Materials()->items[1]->ReleaseResource();
    ASSERT_EQ(demo->scene.Materials()->items[1]->GetEffect(), nullptr);
    demo->SetLightConstants();
    EXPECT_TRUE(HasAllFour(EffectOf(0)));
    EXPECT_TRUE(HasAllFour(EffectOf(2)));
}
