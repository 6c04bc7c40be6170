// Particles in a frame: the pass that draws them makes one instanced draw of
// every particle from its instance records, with the frame's lights and fog;
// the update pass draws the state row into B and copies it back into A, after
// every other pass; a disabled draw template draws nothing while the update
// still runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/frame/render_pass.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/renderer_template_scene.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/light_node.h"
#include "render/world/particle_group.h"
#include "testing/gfx_call_record.h"
#include "testing/test_files.h"
#include "tests/render/particle_test_support.h"

using namespace particle_test;

namespace {

std::vector<float> Uploaded(const gfx::RecordedDraw& draw, const std::string& name)
{
    for (const auto& parameter : draw.effect.parameters)
        if (parameter.name == name)
            return parameter.values;
    return {};
}

// A frame of one "diff" pass into a render texture (lit by a fog light) and
// the emitters' update passes after it.
class ParticleFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        target.InitRenderTexture(64, 32, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget, gfx::kPoolDefault, 1);
        camera.SetPosition(float4{0, 0, -10, 1});
        camera.ApplyCamera();
        diff.name = "diff";
        diff.alwaysDraw = 1;
        diff.target = &target.GetPayload()->target;
        diff.camera = &camera;
        fog.colour = float4{0.5f, 0.6f, 0.7f, 1.0f};
        layer.nodes.push_back(&fog);
        lights.layers.push_back(&layer);
        diff.AddRendererTemplate(&lights);
        passes.passes.push_back(&diff);
        group.passListOwner = &passes;
        renderer.queues.push_back(&lights.instanceList);
    }

    void Add(ParticleEmitter& emitter)
    {
        AddEmitter(group, &emitter);
        RefreshEmitterPasses(group);
        QueueEmitters(group, &renderer, 0);
    }

    void Frame()
    {
        renderer.BeginFrame();
        passes.RenderPasses();
        renderer.EndFrame();
    }

    ParticleFolder rig;
    SceneRenderer renderer;
    TextureResource target;
    CameraNode camera;
    LightNode fog{kLightFog};
    RenderLayer layer;
    SceneNodeRenderer lights;
    RenderPass diff;
    RenderPassList passes;
    ParticleGroup group;
};

} // namespace

TEST_F(ParticleFrame, OneInstancedDrawOfEveryParticleAndTheUpdatePassLast)
{
    auto emitter = rig.Emitter(32);
    Add(*emitter);
    ParticleData& d = *emitter->Data();
    EXPECT_EQ(passes.passes, (std::vector<RenderPass*>{&diff, &emitter->updatePass}));
    zandrel_test::CoutCapture quiet;
    platform::testing::GfxCallRecord calls;
    Frame();

    const std::vector<gfx::RecordedDraw> draws = calls.Draws();
    ASSERT_EQ(draws.size(), 2u);
    // The particles, in the diff pass: every one of them in one draw.
    const gfx::RecordedDraw& particles = draws[0];
    EXPECT_EQ(particles.effect.technique, "diff");
    EXPECT_EQ(particles.instanceCount, 32u);
    EXPECT_EQ(particles.streams[1].buffer, d.instanceBuffer);
    EXPECT_EQ(particles.streams[1].stride, 8u);
    EXPECT_EQ(particles.streams[1].offset, 0u);
    EXPECT_EQ(particles.streams[0].stride, 32u);
    EXPECT_EQ(particles.primitiveCount, 2u);
    EXPECT_EQ(particles.renderTargets[0], target.GetPayload()->target.colour);
    EXPECT_EQ(Uploaded(particles, "fogMult"), std::vector<float>{5.275f});
    EXPECT_EQ(Uploaded(particles, "numParticles"), std::vector<float>{32.0f});
    // The update, last: the state row drawn into B, then copied into A.
    const gfx::RecordedDraw& update = draws[1];
    EXPECT_EQ(update.effect.technique, "post");
    EXPECT_EQ(update.instanceCount, 1u);
    EXPECT_EQ(update.renderTargets[0], emitter->stateB.GetPayload()->target.colour);
    const std::vector<std::string> names = calls.Names();
    const auto updateDraw = std::find(names.rbegin(), names.rend(), "DrawIndexedPrimitive");
    const auto copy = std::find(names.rbegin(), names.rend(), "StretchRect");
    ASSERT_NE(copy, names.rend());
    EXPECT_LT(copy, updateDraw); // after it
    const std::vector<platform::testing::GfxCall> copies = calls.Calls("StretchRect");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(rig.boxes.Shown().empty());

    // The weather's fog multiplier reaches the next frame's particles.
    renderer.fogMult = 10.0f;
    calls.Clear();
    Frame();
    ASSERT_GE(calls.Draws().size(), 1u);
    EXPECT_EQ(Uploaded(calls.Draws()[0], "fogMult"), std::vector<float>{10.0f});

    // A disabled draw template draws nothing from the next frame on (its queue
    // is kept, so it is passed over); the update still runs. Enabled again, it draws.
    emitter->drawTemplate.enabled = 0;
    calls.Clear();
    rig.dynamics.UpdateDynamics();
    Frame();
    ASSERT_EQ(calls.Draws().size(), 1u);
    EXPECT_EQ(calls.Draws()[0].effect.technique, "post");
    emitter->drawTemplate.enabled = 1;
    calls.Clear();
    rig.dynamics.UpdateDynamics();
    Frame();
    EXPECT_EQ(calls.Draws().size(), 2u);
    RemoveEmitter(group, emitter.get());
}

TEST_F(ParticleFrame, TwoEmittersDrawOnceEachAndUpdateInGroupOrder)
{
    auto first = rig.Emitter(16);
    auto second = rig.Emitter(1000);
    Add(*first);
    Add(*second);
    zandrel_test::CoutCapture quiet;
    platform::testing::GfxCallRecord calls;
    Frame();
    std::vector<uint32_t> counts;
    std::vector<std::string> techniques;
    for (const gfx::RecordedDraw& draw : calls.Draws()) {
        counts.push_back(draw.instanceCount);
        techniques.push_back(draw.effect.technique);
    }
    // Queued in reverse group order; each update pass draws its own quad.
    EXPECT_EQ(counts, (std::vector<uint32_t>{1000, 16, 1, 1}));
    EXPECT_EQ(techniques, (std::vector<std::string>{"diff", "diff", "post", "post"}));
    EXPECT_EQ(calls.Draws()[2].renderTargets[0], first->stateB.GetPayload()->target.colour);
    EXPECT_EQ(calls.Draws()[3].renderTargets[0], second->stateB.GetPayload()->target.colour);
    RemoveEmitter(group, first.get());
    RemoveEmitter(group, second.get());
    EXPECT_EQ(renderer.queues, std::vector<RenderQueue*>{&lights.instanceList});
    EXPECT_EQ(passes.passes, std::vector<RenderPass*>{&diff});
}
