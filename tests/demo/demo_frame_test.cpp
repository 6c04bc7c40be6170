// The demonstration's frame on the recording device: each pass of the
// eleven-pass sequence draws, in sequence order, into its own target through
// its own viewport with its own technique; the lit pass is copied into the
// screen target; the light matrices follow the light cameras; holding the left
// mouse button turns the light to the view; and the start-up's mends: a
// missing node is reported once and left out, a render target that could not
// be made takes its passes out once instead of failing every frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "demo/shadow_demo.h"
#include "platform/gfx/device/draw_types.h"
#include "render/effects/effect.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "testing/input_injection.h"
#include "testing/os_hooks.h"
#include "tests/demo/demo_world.h"

using demo_test::DemoWorld;

namespace {

RenderTargetRecord* TargetOf(TextureResource& texture)
{
    TextureData* data = texture.GetPayload();
    return data ? &data->target : nullptr;
}

// A run of consecutive draws with the same technique, target and viewport.
struct DrawGroup {
    std::string technique;
    const gfx::Surface* target = nullptr;
    uint32_t x = 0, y = 0, width = 0, height = 0;
    uint32_t draws = 0;
    bool operator==(const DrawGroup&) const = default;
};

std::vector<DrawGroup> Groups(const std::vector<gfx::RecordedDraw>& draws)
{
    std::vector<DrawGroup> groups;
    for (const gfx::RecordedDraw& draw : draws) {
        DrawGroup group{draw.effect.technique, draw.renderTargets[0], draw.viewport.x, draw.viewport.y,
                        draw.viewport.width, draw.viewport.height, 1};
        if (!groups.empty()) {
            DrawGroup& last = groups.back();
            DrawGroup same = group;
            same.draws = last.draws;
            if (same == last) {
                ++last.draws;
                continue;
            }
        }
        groups.push_back(group);
    }
    return groups;
}

std::string Describe(const std::vector<DrawGroup>& groups)
{
    std::string text;
    for (const DrawGroup& g : groups)
        text += g.technique + " " + std::to_string(g.x) + "," + std::to_string(g.y) + " " + std::to_string(g.width) +
                "x" + std::to_string(g.height) + " x" + std::to_string(g.draws) + "\n";
    return text;
}

const float* Uploaded(const gfx::RecordedDraw& draw, const std::string& name)
{
    for (const gfx::UploadedParameter& p : draw.effect.parameters)
        if (p.name == name && !p.values.empty())
            return p.values.data();
    return nullptr;
}

class DemoFrame : public ::testing::Test {
protected:
    void Start()
    {
        ASSERT_TRUE(world.Started());
        demo = std::make_unique<ShadowDemo>();
        platform::testing::RestartRand();
        demo->InitDemo();
    }
    void TearDown() override { demo.reset(); }

    DemoWorld world;
    std::unique_ptr<ShadowDemo> demo;
};

} // namespace

TEST_F(DemoFrame, EachPassDrawsInSequenceOrderIntoItsOwnTarget)
{
    Start();
    ShadowDemo& d = *demo;
    platform::testing::GfxCallRecord record;
    ASSERT_EQ(d.DemoFrame(), 1);

    const gfx::Surface* atlas = TargetOf(d.shadowAtlas)->colour;
    const gfx::Surface* table = TargetOf(d.shadowAtlasSAT)->colour;
    const gfx::Surface* temp = TargetOf(d.satTemp)->colour;
    const gfx::Surface* self = TargetOf(d.selfShadowMap)->colour;
    const gfx::Surface* back = GetRenderer()->Targets().BackBufferTarget().colour;
    const std::vector<DrawGroup> expected = {
        {"depth", atlas, 0, 0, 256, 256, 1},       {"depth", atlas, 256, 0, 256, 256, 1},
        {"depth", atlas, 0, 256, 256, 256, 1},     {"depth", atlas, 256, 256, 256, 256, 1},
        {"diff", atlas, 0, 0, 512, 512, 1},        {"depthSelf", self, 0, 0, 1024, 1024, 1},
        {"hor", temp, 0, 0, 512, 512, 1},          {"hor", table, 0, 0, 512, 512, 1},
        {"ver", temp, 0, 0, 512, 512, 1},          {"ver", table, 0, 0, 512, 512, 1},
        {"diff", back, 0, 0, 1280, 720, 5},
    };
    const std::vector<gfx::RecordedDraw> draws = record.Draws();
    EXPECT_EQ(Groups(draws), expected) << Describe(Groups(draws));

    // The grid is three lines; everything else triangles.
    ASSERT_EQ(draws.size(), 15u);
    EXPECT_EQ(draws[4].primitiveType, gfx::kPrimitiveLineList);
    EXPECT_EQ(draws[4].primitiveCount, 3u);
    for (size_t i : {0u, 5u, 6u, 14u})
        EXPECT_EQ(draws[i].primitiveType, gfx::kPrimitiveTriangleList) << i;
    // The lit pass draws the casters, then the ground, each with its own identifier.
    const float ids[] = {0.0f, 1.0f, 2.0f, 3.0f, -1.0f};
    for (size_t i = 0; i < 5; ++i) {
        const float* id = Uploaded(draws[10 + i], "objectID");
        ASSERT_NE(id, nullptr) << i;
        EXPECT_EQ(*id, ids[i]);
    }
    // Then the back buffer is copied into the screen target, and the frame presented.
    const std::vector<std::string> names = record.Names();
    const auto lastDraw = std::find(names.rbegin(), names.rend(), "DrawIndexedPrimitive");
    const auto copy = std::find(names.rbegin(), names.rend(), "StretchRect");
    ASSERT_NE(copy, names.rend());
    EXPECT_LT(copy - names.rbegin(), lastDraw - names.rbegin());
    EXPECT_EQ(record.Count("Present"), 1u);
    EXPECT_EQ(world.BoxTexts(), "");
}

TEST_F(DemoFrame, TheLightMatricesFollowTheLightCameras)
{
    Start();
    ShadowDemo& d = *demo;
    ASSERT_EQ(d.DemoFrame(), 1);
    for (uint32_t k = 0; k < kCasterCount; ++k) {
        const float4x4 expected = Multiply(*d.lightCameras[k].GetViewProjMatrix(), d.texBiasMatrix);
        for (int i = 0; i < 16; ++i)
            EXPECT_FLOAT_EQ(d.lightMatrices[k].m[i], expected.m[i]) << k << " " << i;
        // Each caster's centre lands in the middle of its light's square.
        const float4 centre = TransformFloat4(d.casterPositions[k], d.lightMatrices[k]);
        EXPECT_NEAR(centre.x / centre.w, 0.501953125f, 1e-4f) << k;
        EXPECT_NEAR(centre.y / centre.w, 0.501953125f, 1e-4f) << k;
    }
    const float4x4 self = Multiply(*d.lightCameras[3].GetViewProjMatrix(), d.selfBiasMatrix);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(d.lightMatrixSelf.m[i], self.m[i]) << i;
    // Every material is given them, by address, and the light's size.
    for (uint32_t i = 0; i < d.scene.Materials()->count; ++i) {
        EffectParamGroup& common = d.scene.Materials()->items[i]->GetEffect()->params.Group("");
        EXPECT_EQ(common.matrixArrays["lightMatrix"], d.lightMatrices);
        EXPECT_EQ(common.matrices["lightMatrixSelf"], &d.lightMatrixSelf);
        EXPECT_EQ(common.vectorArrays["casterRadius"], d.casterRadius);
        EXPECT_EQ(common.floats["lightSize"], 0.25f);
    }
}

TEST_F(DemoFrame, HoldingTheLeftButtonTurnsTheLightToTheView)
{
    Start();
    ShadowDemo& d = *demo;
    ASSERT_EQ(d.DemoFrame(), 1);
    const float4 lightBefore = d.dirLightCamera.transform.position;
    platform::testing::PressMouseButton(0);
    {
        platform::testing::GfxCallRecord record;
        ASSERT_EQ(d.DemoFrame(), 1);
        // Each tile is drawn through its light camera as it stands after the turn.
        const std::vector<gfx::RecordedDraw> draws = record.Draws();
        ASSERT_GE(draws.size(), kCasterCount);
        for (uint32_t k = 0; k < kCasterCount; ++k) {
            const float* world = Uploaded(draws[k], "MatWorld");
            const float* wvp = Uploaded(draws[k], "MatWorldViewProj");
            ASSERT_TRUE(world && wvp) << k;
            float4x4 w;
            std::copy(world, world + 16, w.m);
            const float4x4 expected = Multiply(w, *d.lightCameras[k].GetViewProjMatrix());
            for (int i = 0; i < 16; ++i)
                EXPECT_FLOAT_EQ(wvp[i], expected.m[i]) << k << " " << i;
        }
    }
    EXPECT_EQ(d.dirLightCamera.transform.position.x, d.viewCamera.transform.position.x);
    EXPECT_EQ(d.dirLightCamera.transform.position.z, d.viewCamera.transform.position.z);
    EXPECT_NE(d.dirLightCamera.transform.position.x, lightBefore.x);
    float4x4 rotation;
    d.viewCamera.GetWorldRotationMatrix(rotation);
    EffectParamGroup& common = d.scene.Materials()->items[0]->GetEffect()->params.Group("");
    EXPECT_FLOAT_EQ(common.vectors["lht"].x, -rotation(2, 0));
    EXPECT_FLOAT_EQ(common.vectors["lht"].z, rotation(2, 2));
    // Released: the light stays where it was left.
    platform::testing::ReleaseMouseButton(0);
    const float4 left = d.dirLightCamera.transform.position;
    ASSERT_EQ(d.DemoFrame(), 1);
    EXPECT_EQ(d.dirLightCamera.transform.position.x, left.x);
}

TEST_F(DemoFrame, AMissingNodeIsReportedOnceAndTheDemoRunsWithoutIt)
{
    // The scene file without "Object02".
    {
        Scene full;
        full.LoadByName("data/shadowDemo.ids");
        SceneList<SceneNode>& nodes = *full.Nodes();
        ASSERT_EQ(nodes.items[1]->name.View(), "Object02");
        delete nodes.items[1];
        for (uint32_t i = 1; i + 1 < nodes.count; ++i)
            nodes.items[i] = nodes.items[i + 1];
        --nodes.count;
        full.SaveToFile("data/shadowDemo.ids");
    }
    world.ClearOut();
    Start();
    ShadowDemo& d = *demo;
    EXPECT_EQ(world.BoxTexts(), "Can't find node: Object02|");
    EXPECT_TRUE(d.layers[1].nodes.empty());
    EXPECT_EQ(d.casterPositions[1].w, 0.0f);
    EXPECT_EQ(d.casterRadius[1].x, 0.0f);

    platform::testing::GfxCallRecord record;
    ASSERT_EQ(d.DemoFrame(), 1);
    ASSERT_EQ(d.DemoFrame(), 1);
    EXPECT_EQ(world.BoxTexts(), "Can't find node: Object02|");
    // Its tile is still cleared, and nothing is drawn into it or for it.
    EXPECT_EQ(record.Draws().size(), 2u * (15u - 2u));
}

TEST_F(DemoFrame, ARenderTargetThatCouldNotBeMadeTakesItsPassesOutOnce)
{
    ASSERT_TRUE(world.Started());
    demo = std::make_unique<ShadowDemo>();
    platform::testing::RestartRand();
    world.ClearOut();
    {
        // The eighth texture made is the summed-area table.
        platform::testing::GfxFailureInjection failures;
        failures.Fail("CreateTexture", gfx::kOutOfVideoMemory, 1, 7);
        demo->InitDemo();
    }
    ShadowDemo& d = *demo;
    EXPECT_NE(d.shadowAtlasSAT.GetState(), resource_state::kLoaded);
    const std::string out = world.Out();
    EXPECT_NE(out.find("Render pass hor left out: its render target was not created.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Render pass ver left out: its render target was not created.\n"), std::string::npos) << out;
    EXPECT_EQ(d.passSequence.passes.size(), 9u);
    EXPECT_EQ(std::count(d.passSequence.passes.begin(), d.passSequence.passes.end(), &d.postPasses[9]), 0);
    EXPECT_EQ(std::count(d.passSequence.passes.begin(), d.passSequence.passes.end(), &d.postPasses[11]), 0);

    const size_t boxes = world.Boxes().size();
    world.ClearOut();
    for (int frame = 0; frame < 3; ++frame)
        ASSERT_EQ(d.DemoFrame(), 1);
    // The frames go on without a word or a box.
    EXPECT_EQ(world.Boxes().size(), boxes);
    EXPECT_EQ(world.Out(), "Allocating instancing buffers for 0.0625 MB\n");
}
