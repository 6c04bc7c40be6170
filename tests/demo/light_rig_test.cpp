// The light rig: shadow texture matrices from four real light cameras through
// the start-up bias matrices, and the light constants registered with the
// effects of a scene's real materials.
#include "demo/light_rig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/engine_threads.h"
#include "kernel/math/euler.h"
#include "render/nodes/camera_node.h"
#include "render/effects/effect.h"
#include "render/resources/material.h"
#include "render/device/render_device.h"
#include "render/nodes/scene.h"

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

class LightRigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetActiveCamera(nullptr);
        GetRenderer()->Targets().BackBufferTarget().viewport = gfx::Viewport{0, 0, 256, 256, 0.0f, 1.0f};
        GetRenderer()->Targets().BindTarget(0, nullptr);
        // Four different placements, so a mix-up of cameras shows.
        for (uint32_t k = 0; k < kLightCameraCount; ++k) {
            cameras[k].SetPosition({-20.0f + 3.0f * static_cast<float>(k), 28.11f, -21.0f, 1.0f});
            cameras[k].SetRotation(QuatFromEulerDegrees(45.0f, 45.0f + 10.0f * static_cast<float>(k), 0.0f));
            cameras[k].SetFov(0.2f + 0.1f * static_cast<float>(k));
            lightCameras[k] = &cameras[k];
        }
    }
    void TearDown() override
    {
        SetActiveCamera(nullptr);
        DestroyRenderThread();
        ReleaseDevice();
    }

    CameraNode viewCamera; // made first: the camera active before the rig runs
    CameraNode cameras[kLightCameraCount];
    CameraNode* lightCameras[kLightCameraCount] = {};
    LightRig rig;
};

TEST(ShadowMapBias, RowsAndHalfTexelOffsets)
{
    EXPECT_EQ(kShadowMapBiasOffset, 0.5f + 0.5f / 256.0f);
    EXPECT_EQ(kSelfShadowMapBiasOffset, 0.5f + 0.5f / 1024.0f);

    LightRig rig;
    ExpectSameMatrix(rig.shadowMapBias, IdentityMatrix());
    ExpectSameMatrix(rig.selfShadowMapBias, IdentityMatrix());
    ExpectSameMatrix(rig.selfShadowMatrix, IdentityMatrix());
    for (const float4x4& m : rig.lightMatrices)
        ExpectSameMatrix(m, IdentityMatrix());

    rig.SetBiasMatrices();
    const float rows[16] = {0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.501953125f, 0.501953125f, 0, 1};
    const float selfRows[16] = {0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.50048828125f, 0.50048828125f, 0, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(rig.shadowMapBias.m[i], rows[i]) << i;
        EXPECT_EQ(rig.selfShadowMapBias.m[i], selfRows[i]) << i;
    }

    // Clip space to texture space: the axis to the map's centre plus half a
    // texel, the edges a map's width apart, v growing downwards, depth kept.
    const float4 centre = Project({0, 0, 0.25f, 1}, rig.shadowMapBias);
    EXPECT_EQ(centre.x, 0.501953125f);
    EXPECT_EQ(centre.y, 0.501953125f);
    EXPECT_EQ(centre.z, 0.25f);
    EXPECT_EQ(Project({-2, 0, 0, 2}, rig.shadowMapBias).x, 0.001953125f);
    EXPECT_EQ(Project({2, 0, 0, 2}, rig.shadowMapBias).x, 1.001953125f);
    EXPECT_EQ(Project({0, 2, 0, 2}, rig.shadowMapBias).y, 0.001953125f);
    EXPECT_EQ(Project({0, 0, 0, 1}, rig.selfShadowMapBias).x, 0.50048828125f);
    EXPECT_EQ(Project({0, 0, 0, 1}, rig.selfShadowMapBias).y, 0.50048828125f);
    EXPECT_EQ(Project({-1, 0, 0, 1}, rig.selfShadowMapBias).x, 0.00048828125f);
    EXPECT_EQ(Project({1, 0, 0, 1}, rig.selfShadowMapBias).x, 1.00048828125f);
    EXPECT_EQ(Project({0, 1, 0, 1}, rig.selfShadowMapBias).y, 0.00048828125f);
}

TEST_F(LightRigTest, IdentityBiasGivesTheViewProjectionMatrices)
{
    rig.UpdateLightMatrices(lightCameras);
    for (uint32_t k = 0; k < kLightCameraCount; ++k)
        ExpectSameMatrix(rig.lightMatrices[k], *cameras[k].GetViewProjMatrix());
    ExpectSameMatrix(rig.selfShadowMatrix, *cameras[3].GetViewProjMatrix());
}

TEST_F(LightRigTest, ShadowMatricesAreViewProjectionTimesBias)
{
    rig.SetBiasMatrices();
    rig.UpdateLightMatrices(lightCameras);
    for (uint32_t k = 0; k < kLightCameraCount; ++k) {
        const float4x4 vp = *cameras[k].GetViewProjMatrix();
        const float4x4& m = rig.lightMatrices[k];
        for (int r = 0; r < 4; ++r) {
            EXPECT_FLOAT_EQ(m(r, 0), 0.5f * vp(r, 0) + 0.501953125f * vp(r, 3)) << k;
            EXPECT_FLOAT_EQ(m(r, 1), -0.5f * vp(r, 1) + 0.501953125f * vp(r, 3)) << k;
            EXPECT_EQ(m(r, 2), vp(r, 2)) << k;
            EXPECT_EQ(m(r, 3), vp(r, 3)) << k;
        }
        // A world point on light k's view axis lands on its map's centre.
        const float4x4& world = *cameras[k].GetWorldMatrix();
        const float4 onAxis = cameras[k].transform.position + world.Row(2) * 40.0f;
        const float4 uv = Project(onAxis, m);
        EXPECT_NEAR(uv.x, 0.501953125f, 1e-5f) << k;
        EXPECT_NEAR(uv.y, 0.501953125f, 1e-5f) << k;
    }

    // The self-shadow matrix comes from light camera 3's same matrix.
    const float4x4& self = rig.selfShadowMatrix;
    const float4x4& light3 = rig.lightMatrices[3];
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(self(r, 2), light3(r, 2));
        EXPECT_EQ(self(r, 3), light3(r, 3));
        const float difference = (0.50048828125f - 0.501953125f) * light3(r, 3);
        EXPECT_NEAR(self(r, 0) - light3(r, 0), difference, 1e-5f);
        EXPECT_NEAR(self(r, 1) - light3(r, 1), difference, 1e-5f);
    }
}

TEST_F(LightRigTest, LightCameraZeroIsLeftActiveAndMovesShowNextUpdate)
{
    viewCamera.ApplyCamera();
    ASSERT_EQ(GetActiveCamera(), &viewCamera);
    rig.SetBiasMatrices();
    rig.UpdateLightMatrices(lightCameras);
    EXPECT_EQ(GetActiveCamera(), &cameras[0]);
    EXPECT_EQ(GetRenderer()->Frame().Camera().viewProj, &cameras[0].viewProjMatrix);

    // A camera moved after the update keeps its old matrix until the next one.
    const float4x4 before = rig.lightMatrices[2];
    cameras[2].SetPosition({5, 5, 5, 1});
    ExpectSameMatrix(rig.lightMatrices[2], before);
    rig.UpdateLightMatrices(lightCameras);
    EXPECT_NE(rig.lightMatrices[2].m[12], before.m[12]);
}

class LightConstantsTest : public ::testing::Test {
protected:
    LightConstantsTest() { scene.CreateUnique(); }

    void AddMaterials(uint32_t count)
    {
        scene.Materials()->Allocate(count);
        for (uint32_t i = 0; i < count; ++i) {
            MaterialResource* material = new MaterialResource;
            MakeUniqueMaterial(*material);
            scene.Materials()->Push() = material;
        }
    }
    Effect& EffectOf(uint32_t i) { return *scene.Materials()->items[i]->GetEffect(); }

    static bool HasAllFour(Effect& effect)
    {
        EffectParamGroup& group = effect.params.Group("");
        return group.matrixArrays.count("lightMatrix") && group.matrices.count("lightMatrixSelf") &&
               group.vectorArrays.count("casterRadius") && group.floats.count("lightSize");
    }

    Scene scene;
    LightRig rig;
};

TEST_F(LightConstantsTest, EveryMaterialGetsTheFourConstantsBeforeTheNextOne)
{
    AddMaterials(3);
    rig.lightSize = 0.25f;
    std::vector<uint32_t> visited;
    rig.SetLightConstants(scene, [&](uint32_t i, Effect* effect) {
        visited.push_back(i);
        EXPECT_EQ(effect, &EffectOf(i));
        EXPECT_TRUE(HasAllFour(EffectOf(i))) << i;
        if (i + 1 < 3) {
            EXPECT_FALSE(HasAllFour(EffectOf(i + 1))) << i;
        }
    });
    EXPECT_EQ(visited, (std::vector<uint32_t>{0, 1, 2}));

    for (uint32_t i = 0; i < 3; ++i) {
        EffectParamGroup& group = EffectOf(i).params.Group("");
        EXPECT_EQ(group.matrixArrays["lightMatrix"], rig.lightMatrices);
        EXPECT_EQ(group.matrixArrayCounts["lightMatrix"], 4u);
        EXPECT_EQ(group.matrices["lightMatrixSelf"], &rig.selfShadowMatrix);
        EXPECT_EQ(group.vectorArrays["casterRadius"], rig.casterRadii);
        EXPECT_EQ(group.vectorArrayCounts["casterRadius"], 4u);
        EXPECT_EQ(group.floats["lightSize"], 0.25f);
        EXPECT_EQ(EffectOf(i).params.groups.size(), 1u) << "only the group with the empty name";
    }

    // The size is a copy: a change after the call reaches the effects at the next one.
    rig.lightSize = 0.75f;
    EXPECT_EQ(EffectOf(1).params.Group("").floats["lightSize"], 0.25f);
    rig.SetLightConstants(scene, nullptr);
    EXPECT_EQ(EffectOf(1).params.Group("").floats["lightSize"], 0.75f);
}

TEST_F(LightConstantsTest, NoMaterialsRegistersNothing)
{
    int calls = 0;
    const auto count = [&](uint32_t, Effect*) { ++calls; };
    rig.SetLightConstants(scene, count); // no list allocated yet
    AddMaterials(0);
    rig.SetLightConstants(scene, count);
    Scene emptyHandle; // no block at all
    rig.SetLightConstants(emptyHandle, count);
    EXPECT_EQ(calls, 0);
}

TEST_F(LightConstantsTest, AMaterialWithoutAnEffectIsPassedOver)
{
    AddMaterials(3);
    scene.Materials()->items[1]->ReleaseResource();
    ASSERT_EQ(scene.Materials()->items[1]->GetEffect(), nullptr);
    std::vector<bool> hadEffect;
    rig.SetLightConstants(scene, [&](uint32_t, Effect* effect) { hadEffect.push_back(effect != nullptr); });
    EXPECT_EQ(hadEffect, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(HasAllFour(EffectOf(0)));
    EXPECT_TRUE(HasAllFour(EffectOf(2)));
}

} // namespace
