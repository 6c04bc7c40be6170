// The demonstration object: what it holds when built and when it goes; its
// start-up in a world like the run folder (the lines it prints and their
// order, its render targets, layers, passes, post passes, render queues and
// pass sequence); and its clock.
#include "demo/shadow_demo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/platform.h"
#include "kernel/time.h"
#include "platform/gfx/device/format.h"
#include "render/effects/effect.h"
#include "scene/dynamic.h"
#include "testing/os_hooks.h"
#include "testing/test_files.h"
#include "tests/demo/demo_world.h"

using demo_test::DemoWorld;

namespace {

bool IsIdentity(const float4x4& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m(r, c) != (r == c ? 1.0f : 0.0f))
                return false;
    return true;
}

RenderTargetRecord* TargetOf(TextureResource& texture)
{
    TextureData* data = texture.GetPayload();
    return data ? &data->target : nullptr;
}

// A platform whose clock the test sets by hand; sleeping moves the clock on.
class ClockPlatform : public Platform {
public:
    ClockPlatform() { SetPlatform(this); }
    ~ClockPlatform() override { SetPlatform(nullptr); }
    double GetSeconds() override { return now; }
    void SleepSeconds(float seconds) override { now += seconds; }

    double now = 1000.0;
};

// The step the clock takes while paused: a millisecond, as a float.
constexpr double kPauseStep = double(0.001f);

struct CountingDynamic : Dynamic {
    void Update() override { ++updates; }
    int updates = 0;
};

} // namespace

TEST(ShadowDemo, IsBuiltAlignedWithEverythingEmptyAndTheIdentityMatrices)
{
    platform::testing::ScriptedMessageBoxes boxes;
    render_test::SettingsFolder settings(demo_test::kDemoSettings);
    testing::internal::CaptureStdout();
    {
        auto demo = std::make_unique<ShadowDemo>();
        EXPECT_EQ(alignof(ShadowDemo) % 16, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(demo.get()) % 16, 0u);
        EXPECT_TRUE(IsIdentity(demo->texBiasMatrix));
        EXPECT_TRUE(IsIdentity(demo->selfBiasMatrix));
        EXPECT_TRUE(IsIdentity(demo->lightMatrixSelf));
        for (const float4x4& m : demo->lightMatrices)
            EXPECT_TRUE(IsIdentity(m));
        for (uint32_t i = 0; i < kCasterCount; ++i) {
            EXPECT_EQ(demo->casterRadius[i].x, 0.0f);
            EXPECT_EQ(demo->casterPositions[i].w, 0.0f);
            const RenderTargetRecord& tile = demo->atlasTiles[i];
            EXPECT_EQ(tile.viewport.width, 0u);
            EXPECT_EQ(tile.viewport.maxZ, 1.0f);
            EXPECT_EQ(tile.colour, nullptr);
        }
        EXPECT_EQ(demo->lightSize, 0.0f);
        // Nothing loaded, nothing made: every texture handle and the scene are empty.
        for (TextureResource* t : {&demo->screenTargetA, &demo->prtNTexture, &demo->extraTexture0, &demo->jitterVolume,
                                   &demo->shadowAtlas, &demo->selfShadowMap, &demo->extraTexture4})
            EXPECT_FALSE(t->IsValid());
        for (TextureResource& t : demo->lightDepthTex)
            EXPECT_FALSE(t.IsValid());
        EXPECT_FALSE(demo->scene.IsValid());
        // The grid's material has a block of its own, loaded.
        EXPECT_EQ(demo->gridMaterial.GetState(), resource_state::kLoaded);
        // The first camera, the only root clock, the per-frame list with the free camera in it.
        EXPECT_EQ(GetActiveCamera(), &demo->viewCamera);
        EXPECT_EQ(GetGlobalTime(), &demo->time);
        EXPECT_EQ(GetDynamicsList(), &demo->dynamics);
        EXPECT_EQ(demo->dynamics.Entries(), (std::vector<Dynamic*>{&demo->freeCamera}));
        EXPECT_TRUE(demo->passSequence.passes.empty());
        EXPECT_TRUE(demo->sceneRenderer.queues.empty());
        demo.reset();
        EXPECT_EQ(GetDynamicsList(), nullptr);
        EXPECT_EQ(GetGlobalTime(), nullptr);
    }
    // The grid's and the sixteen post passes' materials each say their release.
    std::string expected = "Time object created.\nTime object created.\n";
    for (int i = 0; i < 17; ++i)
        expected += "Dog my cat\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected + "Time object released.\n");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(ShadowDemo, ItsListRunsEachFrameEvenBeforeAStartUp)
{
    platform::testing::ScriptedMessageBoxes boxes;
    render_test::SettingsFolder settings(demo_test::kDemoSettings);
    testing::internal::CaptureStdout();
    {
        ShadowDemo demo;
        CountingDynamic member;
        EXPECT_NE(demo.DemoFrame(), 0);
        EXPECT_NE(demo.DemoFrame(), 0);
        EXPECT_EQ(member.updates, 2);
    }
    testing::internal::GetCapturedStdout();
}

namespace {

class StartedDemo : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.Started());
        demo = std::make_unique<ShadowDemo>();
        world.ClearOut();
        // The bake draws the thread's random sequence from its start, as the program's first draw does.
        platform::testing::RestartRand();
        demo->InitDemo();
    }
    void TearDown() override { demo.reset(); }

    DemoWorld world;
    std::unique_ptr<ShadowDemo> demo;
};

} // namespace

TEST_F(StartedDemo, PrintsTheStartUpLinesInOrder)
{
    std::vector<std::string> expected = {"Generating samples...", "Projecting to SH...", "Baked:"};
    for (const char* number : {"0.399249", "-0.210748", "0.286867", "0.282772", "-0.315302", "-0.00039827",
                               "0.131591", "0.000976627", "0.0935849", "-0.249934", "-0.000720488", "0.122896",
                               "0.304576", "-0.164276", "-0.000615385", "-0.0912652"})
        expected.push_back(number);
    for (int i = 0; i < 14; ++i)
        expected.push_back("RenderTexture created.");
    for (int i = 0; i < 9; ++i)
        expected.push_back("Quad created.");
    EXPECT_EQ(zandrel_test::Lines(world.Out()), expected) << world.Out();
    EXPECT_EQ(world.BoxTexts(), "");
}

TEST_F(StartedDemo, MakesItsRenderTargetsAndLoadsItsTextures)
{
    struct Made {
        TextureResource* texture;
        uint32_t width, height, format;
    };
    ShadowDemo& d = *demo;
    const Made made[] = {
        {&d.lightDepthR32F[0], 256, 256, gfx::kFormatR32F}, {&d.lightDepthTex[2], 256, 256, gfx::kFormatD24X8},
        {&d.shadowAtlas, 512, 512, gfx::kFormatG32R32F},    {&d.shadowAtlasSAT, 512, 512, gfx::kFormatG32R32F},
        {&d.satTemp, 512, 512, gfx::kFormatG32R32F},        {&d.selfShadowMap, 1024, 1024, gfx::kFormatG32R32F},
        {&d.shadowTarget, 1280, 720, gfx::kFormatA8R8G8B8}, {&d.screenLumaTarget, 1280, 720, gfx::kFormatL8},
        {&d.screenTargetA, 1280, 720, gfx::kFormatA8R8G8B8}, {&d.screenTargetB, 1280, 720, gfx::kFormatA8R8G8B8},
        {&d.jitterVolume, 32, 32, gfx::kFormatA8R8G8B8},    {&d.noiseTexture, 64, 64, gfx::kFormatA8R8G8B8},
        {&d.prtNTexture, 256, 256, gfx::kFormatA8R8G8B8},   {&d.prtPTexture, 256, 256, gfx::kFormatA8R8G8B8},
    };
    for (const Made& m : made) {
        const TextureData* data = m.texture->GetPayload();
        ASSERT_NE(data, nullptr);
        ASSERT_NE(data->texture, nullptr);
        EXPECT_EQ(m.texture->GetState(), resource_state::kLoaded);
        EXPECT_EQ(data->texture->Width(), m.width);
        EXPECT_EQ(data->texture->Height(), m.height);
        EXPECT_EQ(data->texture->Format(), m.format);
    }
    EXPECT_EQ(d.jitterVolume.GetPayload()->kind, 2); // a volume
    // A depth texture draws into itself.
    EXPECT_EQ(TargetOf(d.lightDepthTex[0])->depthStencil, TargetOf(d.lightDepthTex[0])->colour);
    EXPECT_NE(TargetOf(d.shadowAtlas)->depthStencil, TargetOf(d.shadowAtlas)->colour);
    for (TextureResource* unused : {&d.extraTexture0, &d.extraTexture1, &d.extraTexture2, &d.extraTexture3,
                                    &d.extraTexture4})
        EXPECT_FALSE(unused->IsValid());
}

TEST_F(StartedDemo, LayersHoldTheirNodesAndEachRendererItsLayer)
{
    ShadowDemo& d = *demo;
    const char* names[] = {"Object01", "Object02", "Object03", "Object04", "Box01"};
    for (uint32_t k = 0; k < kDemoLayers; ++k) {
        ASSERT_EQ(d.layers[k].nodes.size(), 1u) << k;
        if (k < 5)
            EXPECT_EQ(d.layers[k].nodes[0], d.scene.FindNode(names[k]));
        else
            EXPECT_EQ(d.layers[k].nodes[0], &d.gridNode);
        EXPECT_EQ(d.nodeRenderers[k].layers, (std::vector<RenderLayer*>{&d.layers[k]}));
    }
    // The grid: three lines over the atlas, drawn with the grid's own effect.
    MeshData* grid = d.gridNode.mesh.GetPayload();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->baseSubsets.items[0].GetPayload()->indicesPerPrimitive, 2);
    EXPECT_EQ(grid->baseSubsets.items[0].material.GetPayload(), d.gridMaterial.GetPayload());
    EXPECT_NE(d.gridMaterial.GetEffect()->CurrentEffect(), nullptr);
    EXPECT_TRUE(d.gridMaterial.GetEffect()->params.Group("").floats.empty());
    EXPECT_EQ(d.lightSize, 0.25f);
    EXPECT_EQ(d.time.scale, 1.0f);
}

TEST_F(StartedDemo, ScenePassesAreSetUpAsTheirTableSays)
{
    ShadowDemo& d = *demo;
    RenderTargetRecord* back = &GetRenderer()->Targets().BackBufferTarget();
    SceneNodeRenderer* r = d.nodeRenderers;
    struct Pass {
        uint32_t index;
        const char* name;
        CameraNode* camera;
        RenderTargetRecord* target;
        std::vector<RendererTemplate*> templates;
        uint8_t keep;
        uint32_t clear;
        RenderTargetRecord* copy;
    };
    const Pass table[] = {
        {0, "diff", &d.viewCamera, back, {&r[0], &r[1], &r[2], &r[3], &r[4]}, 0, 0x00000000u, TargetOf(d.screenTargetA)},
        {3, "depth", &d.lightCameras[0], &d.atlasTiles[0], {&r[0]}, 0, 0xFFFFFFFFu, nullptr},
        {4, "depth", &d.lightCameras[1], &d.atlasTiles[1], {&r[1]}, 0, 0xFFFFFFFFu, nullptr},
        {5, "depth", &d.lightCameras[2], &d.atlasTiles[2], {&r[2]}, 0, 0xFFFFFFFFu, nullptr},
        {6, "drawShadow", &d.viewCamera, back, {&r[0], &r[1], &r[2], &r[4]}, 0, 0xBBBBBBBBu, TargetOf(d.shadowTarget)},
        {7, "diff", &d.viewCamera, TargetOf(d.shadowAtlas), {&r[5]}, 1, 0x00000000u, nullptr},
        {8, "depth", &d.lightCameras[3], &d.atlasTiles[3], {&r[3]}, 0, 0xFFFFFFFFu, nullptr},
        {9, "depthSelf", &d.lightCameras[3], TargetOf(d.selfShadowMap), {&r[3]}, 0, 0xFFFFFFFFu, nullptr},
    };
    for (const Pass& p : table) {
        SCOPED_TRACE(p.index);
        const RenderPass& pass = d.passes[p.index];
        EXPECT_EQ(pass.name, p.name);
        EXPECT_EQ(pass.camera, p.camera);
        EXPECT_EQ(pass.target, p.target);
        EXPECT_EQ(pass.subRenderers, p.templates);
        EXPECT_EQ(pass.keepContents, p.keep);
        EXPECT_EQ(pass.clearColour, p.clear);
        EXPECT_EQ(pass.copyAfterDraw, p.copy);
        EXPECT_EQ(pass.alwaysDraw, 1);
        EXPECT_EQ(pass.depthWrite, 1);
        EXPECT_EQ(pass.period, 0u);
        EXPECT_EQ(pass.stateOverrides.at(kRsZFunc), p.index == 7 ? 8u : 4u);
        EXPECT_EQ(pass.stateOverrides.size(), 4u);
    }
    for (uint32_t unused : {1u, 2u}) {
        EXPECT_TRUE(d.passes[unused].name.empty());
        EXPECT_EQ(d.passes[unused].target, nullptr);
    }
    // The tiles are the atlas's quarters.
    const uint32_t origins[4][2] = {{0, 0}, {256, 0}, {0, 256}, {256, 256}};
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        EXPECT_EQ(d.atlasTiles[k].viewport.x, origins[k][0]);
        EXPECT_EQ(d.atlasTiles[k].viewport.y, origins[k][1]);
        EXPECT_EQ(d.atlasTiles[k].viewport.width, 256u);
        EXPECT_EQ(d.atlasTiles[k].colour, TargetOf(d.shadowAtlas)->colour);
    }
}

TEST_F(StartedDemo, PostPassesTakeTheirEffectsParametersAndTargets)
{
    ShadowDemo& d = *demo;
    RenderTargetRecord* back = &GetRenderer()->Targets().BackBufferTarget();
    struct Post {
        uint32_t index;
        const char* file;
        const char* technique;
        RenderTargetRecord* target;
        const char* textureName;
        TextureResource* texture;
    };
    const Post table[] = {
        {4, "blurQuad_diff.fx", "bilaterial", TargetOf(d.screenLumaTarget), "diffuse", &d.shadowTarget},
        {5, "genSAT.fx", "ver", back, "diffuse", &d.screenTargetA},
        {8, "doSAT.fx", "hor", TargetOf(d.satTemp), "temptex", &d.shadowAtlas},
        {9, "doSAT.fx", "hor", TargetOf(d.shadowAtlasSAT), "temptex", &d.satTemp},
        {10, "doSAT.fx", "ver", TargetOf(d.satTemp), "temptex", &d.shadowAtlasSAT},
        {11, "doSAT.fx", "ver", TargetOf(d.shadowAtlasSAT), "temptex", &d.satTemp},
        {7, "deSAT.fx", "test", back, "temptex", &d.selfShadowMap},
        {1, "post_diff.fx", "preFXAA", TargetOf(d.screenTargetB), "temptex", &d.screenTargetA},
        {0, "post_diff.fx", "postFXAA", back, "temptex", &d.screenTargetB},
    };
    for (const Post& p : table) {
        SCOPED_TRACE(p.index);
        PostPass& pass = d.postPasses[p.index];
        Effect* effect = pass.material.GetEffect();
        EXPECT_EQ(effect->GetPayload()->sourceName.View(), p.file);
        EXPECT_NE(effect->CurrentEffect(), nullptr);
        EXPECT_EQ(pass.name, p.technique);
        EXPECT_EQ(pass.target, p.target);
        EXPECT_EQ(pass.camera, &pass.orthoCamera);
        EXPECT_EQ(pass.depthWrite, 0);
        EffectParamGroup& common = effect->params.Group("");
        ASSERT_EQ(common.autoMatrices.size(), 1u);
        EXPECT_EQ(common.autoMatrices[0].name, "MatWorldViewProj");
        EXPECT_EQ(common.textures[p.textureName], p.texture);
        EXPECT_EQ(pass.keepContents, p.index == 7 ? 0 : 1);
    }
    // The table steps keep their own values though they share one effect file.
    const float passIds[] = {0.0f, 1.0f, 0.0f, 1.0f};
    for (uint32_t i = 0; i < 4; ++i) {
        EffectParamGroup& common = d.postPasses[8 + i].material.GetEffect()->params.Group("");
        EXPECT_EQ(common.floats["passID"], passIds[i]);
        EXPECT_EQ(common.floats["atlasRes"], 512.0f);
    }
    EXPECT_EQ(d.postPasses[7].clearColour, 0xFFFFFFFFu);
    EXPECT_EQ(d.postPasses[7].alwaysDraw, 1);
    // The screen's sizes at 1280 x 720.
    for (uint32_t i : {0u, 1u}) {
        EffectParamGroup& common = d.postPasses[i].material.GetEffect()->params.Group("");
        EXPECT_FLOAT_EQ(common.vectors["rcpFrame"].x, 0.00078125f);
        EXPECT_FLOAT_EQ(common.vectors["rcpFrame"].y, 0.0013888889f);
        EXPECT_FLOAT_EQ(common.vectors["rcpFrameOpt"].z, 0.000390625f);
        EXPECT_FLOAT_EQ(common.vectors["rcpFrameOpt"].w, 0.00069444446f);
        EXPECT_EQ(common.floats["screenWidth"], 1280.0f);
        EXPECT_EQ(common.floats["screenHeight"], 720.0f);
    }
    EffectParamGroup& gen = d.postPasses[5].material.GetEffect()->params.Group("");
    EXPECT_FLOAT_EQ(gen.vectors["pixelSizeX"].x, 0.00078125f);
    EXPECT_FLOAT_EQ(gen.vectors["pixelSizeY"].y, 0.0013888889f);
    for (uint32_t unused : {2u, 3u, 6u, 12u, 13u, 14u, 15u})
        EXPECT_TRUE(d.postPasses[unused].subRenderers.empty()) << unused;
}

TEST_F(StartedDemo, RegistersItsQueuesAndRunsElevenPassesInOrder)
{
    ShadowDemo& d = *demo;
    std::vector<RenderQueue*> queues;
    for (SceneNodeRenderer& renderer : d.nodeRenderers)
        queues.push_back(&renderer.instanceList);
    for (uint32_t i : {5u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 7u, 1u, 0u})
        queues.push_back(&d.postPasses[i].renderer.instanceList);
    EXPECT_EQ(d.sceneRenderer.queues, queues);
    const std::vector<RenderPass*> sequence = {
        &d.passes[3],     &d.passes[4],      &d.passes[5],      &d.passes[8],      &d.passes[7], &d.passes[9],
        &d.postPasses[8], &d.postPasses[9], &d.postPasses[10], &d.postPasses[11], &d.passes[0]};
    EXPECT_EQ(d.passSequence.passes, sequence);
}

TEST_F(StartedDemo, SetsTheLightAndTheMaterialsParameters)
{
    ShadowDemo& d = *demo;
    // The light's axis with x and y turned over: (-0.5, 0.7071068, 0.5, 0).
    for (uint32_t i = 0; i < d.scene.Materials()->count; ++i) {
        EffectParamGroup& common = d.scene.Materials()->items[i]->GetEffect()->params.Group("");
        EXPECT_NEAR(common.vectors["lht"].x, -0.5f, 1e-6f);
        EXPECT_NEAR(common.vectors["lht"].y, 0.70710678f, 1e-6f);
        EXPECT_NEAR(common.vectors["lht"].z, 0.5f, 1e-6f);
        EXPECT_EQ(common.textures["shadowAtlasSAT"], &d.shadowAtlasSAT);
    }
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        EXPECT_GT(d.casterRadius[k].x, 0.0f);
        EXPECT_EQ(d.casterPositions[k].w, 1.0f);
        EXPECT_EQ(d.lightCameras[k].orthographic, 1);
        EXPECT_GT(d.lightCameras[k].fov, 0.0f);
    }
    EXPECT_EQ(d.texBiasMatrix(3, 0), 0.501953125f);
    EXPECT_EQ(d.selfBiasMatrix(3, 1), 0.50048828125f);
    EXPECT_EQ(d.viewCamera.farClip, 2000.0f);
}

TEST_F(StartedDemo, TheClockIsTheGlobalOneAndStepsEachFrame)
{
    ClockPlatform platform;
    EXPECT_NE(demo->DemoFrame(), 0);
    platform.now += 0.125;
    EXPECT_NE(demo->DemoFrame(), 0);
    EXPECT_DOUBLE_EQ(GetGlobalDelta(), 0.125);
    EXPECT_FLOAT_EQ(GetTime(), float(kPauseStep + 0.125));
    EXPECT_EQ(world.BoxTexts(), "");
}
