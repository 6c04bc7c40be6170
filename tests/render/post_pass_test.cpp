// Post passes: set-up (quad, material, camera, name, clearing), the quad drawn
// into the target with the technique the pass names, repeated set-ups.
#include "render/frame/post_pass.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gfx/device/render_state.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/effects/effect.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/scene_renderer.h"
#include "testing/gfx_call_record.h"
#include "tests/render/device_fixture.h"

using platform::testing::GfxCallRecord;
using render_test::DeviceRun;

namespace {
constexpr const char* kSettings =
    "[Graphics]\nwidth=320\nheight=200\nvsync=1\nallowInstancing=1\ninstancingBufferSize=8\n";

constexpr const char* kPostEffect = R"(
float4x4 MatWorldViewProj;
float4 tint = { 1, 1, 1, 1 };
technique diff
{
    pass p0 { }
}
technique post
{
    pass p0 { }
}
)";

class PostPasses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        // The owner loads the material's effect.
        Effect* effect = post.material.GetEffect();
        ASSERT_NE(effect, nullptr);
        effect->CreateUnique();
        int32_t result = 0;
        ASSERT_TRUE(CreateEffectFromMemory(kPostEffect, std::strlen(kPostEffect), "post.fx", nullptr,
                                           run.Device(), effect->GetPayload()->current, result));
        effect->SetAutoMatrix("MatWorldViewProj", kAutoWorldViewProj);
        frame.queues.push_back(&post.renderer.instanceList);
        // The frame's beginning, which the frame renderer makes before its passes.
        ASSERT_EQ(run.Device()->BeginScene(), gfx::kOk);
        list.passes.push_back(&post);
    }

    void TearDown() override { run.Device()->EndScene(); }

    DeviceRun run{kSettings};
    SceneRenderer frame;
    PostPass post;
    RenderPassList list;
};
} // namespace

TEST_F(PostPasses, SetUpMakesAScreenQuadAndAnOrthographicCamera)
{
    EXPECT_EQ(post.camera, nullptr);
    EXPECT_EQ(post.material.GetState(), 2u);
    RenderTargetRecord& backBuffer = run.Renderer()->Targets().BackBufferTarget();
    run.ClearOut();
    post.SetupPostPass(0, &backBuffer);
    post.SetupPostPass(0, &backBuffer);
    EXPECT_EQ(run.Out(), "Quad created.\n"); // sized once
    EXPECT_EQ(post.name, "post");
    EXPECT_EQ(post.target, &backBuffer);
    EXPECT_EQ(post.depthWrite, 0);
    EXPECT_EQ(post.keepContents, 0);
    EXPECT_EQ(post.camera, &post.orthoCamera);
    EXPECT_EQ(post.orthoCamera.orthographic, 1);
    EXPECT_EQ(post.orthoCamera.secondProjection, 1);
    EXPECT_EQ(post.orthoCamera.fov, 1.0f);
    ASSERT_EQ(post.renderer.layers.size(), 1u);
    EXPECT_EQ(post.renderer.layers[0], &post.layer);
    EXPECT_EQ(post.layer.nodes, std::vector<SceneNode*>{&post.quad});
    // Every subset of the quad draws with the pass's material.
    MeshData* mesh = post.quad.mesh.GetPayload();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->baseSubsets.count, 1u);
    EXPECT_EQ(mesh->baseSubsets.items[0].material.GetPayload(), post.material.GetPayload());
    // Set up twice: the renderer sits in the pass twice.
    EXPECT_EQ(post.subRenderers, (std::vector<RendererTemplate*>{&post.renderer, &post.renderer}));
}

TEST_F(PostPasses, TheQuadIsDrawnIntoTheTargetWithTheTechniqueOfThePass)
{
    RenderTargetRecord& backBuffer = run.Renderer()->Targets().BackBufferTarget();
    post.SetupPostPass(0, &backBuffer);
    GfxCallRecord record;
    list.RenderPasses();
    const auto draws = record.Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].effect.technique, "post");
    EXPECT_EQ(draws[0].primitiveType, gfx::kPrimitiveTriangleList);
    EXPECT_EQ(draws[0].primitiveCount, 2u);
    EXPECT_EQ(draws[0].numVertices, 4u);
    EXPECT_EQ(draws[0].renderTargets[0], backBuffer.colour);
    EXPECT_EQ(draws[0].renderStates[gfx::kRsZWriteEnable], 0u);
    EXPECT_EQ(draws[0].renderStates[gfx::kRsColorWriteEnable], 0xFFFFFFFFu);
    EXPECT_EQ(draws[0].renderStates[kRsCullMode], kCullCcw);
    // The pass's camera is applied and spans the back buffer pixel for pixel.
    EXPECT_EQ(GetActiveCamera(), &post.orthoCamera);
    const float4x4& projection = *post.orthoCamera.GetProjectionMatrix();
    EXPECT_FLOAT_EQ(projection.m[0], 2.0f / 320.0f);
    EXPECT_FLOAT_EQ(projection.m[5], 2.0f / 200.0f);
    // Without depth writing the target alone is cleared, to the clear colour.
    const auto clears = record.Calls("Clear");
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_EQ(clears[0].args[1], gfx::kClearTarget);
    EXPECT_EQ(clears[0].args[2], 0u);
}

TEST_F(PostPasses, NoClearKeepsTheTargetAndWritesNoDepth)
{
    post.SetupPostPass(1, &run.Renderer()->Targets().BackBufferTarget());
    GfxCallRecord record;
    list.RenderPasses();
    list.RenderPasses();
    EXPECT_EQ(record.Count("Clear"), 0u);
    const auto draws = record.Draws();
    ASSERT_EQ(draws.size(), 2u);
    for (const auto& draw : draws)
        EXPECT_EQ(draw.renderStates[gfx::kRsZWriteEnable], 0u);
}

TEST_F(PostPasses, SetUpTwiceRunsTheRendererTwicePerRun)
{
    post.SetupPostPass(0, &run.Renderer()->Targets().BackBufferTarget());
    post.SetupPostPass(0, &run.Renderer()->Targets().BackBufferTarget());
    post.printCount = 1;
    run.ClearOut();
    GfxCallRecord record;
    list.RenderPasses();
    // Each run of the renderer gathers the quad afresh: two counted, one drawn.
    EXPECT_EQ(run.Out(), "2\nAllocating instancing buffers for 0.000488281 MB\n"); // at the first draw
    EXPECT_EQ(record.Draws().size(), 1u);
    // After its pass the renderer's instances are emptied for the next pass.
    EXPECT_EQ(post.renderer.instanceList.Count(), 0u);
}

TEST_F(PostPasses, ADisabledLayerOrAnInvisibleQuadDrawsNothing)
{
    post.SetupPostPass(0, &run.Renderer()->Targets().BackBufferTarget());
    post.quad.visible = 0;
    GfxCallRecord record;
    list.RenderPasses();
    EXPECT_EQ(record.Draws().size(), 0u);
    EXPECT_EQ(record.Count("Clear"), 0u); // nothing gathered: the pass does not draw
    post.quad.visible = 1;
    post.layer.enabled = 0;
    list.RenderPasses();
    EXPECT_EQ(record.Draws().size(), 0u);
    post.layer.enabled = 1;
    list.RenderPasses();
    EXPECT_EQ(record.Draws().size(), 1u);
}
