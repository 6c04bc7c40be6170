// Particles: the shared particle data and its declaration, the emitter's
// set-up (start state, instance records, state textures, update pass, both
// effects, the one gathered draw record), its failures, the per-frame
// parameters, the draw patch, and the group's passes and queues.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernel/global_objects.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/os/random.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/render_queue.h"
#include "render/frame/scene_renderer.h"
#include "render/world/particle_group.h"
#include "testing/gfx_failure_injection.h"
#include "testing/os_hooks.h"
#include "testing/test_files.h"
#include "tests/render/particle_test_support.h"

using namespace particle_test;

namespace {

void ExpectVector(const float4& v, float x, float y, float z, float w)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.w, w);
}

float RandUnit()
{
    return static_cast<float>(platform::os::Rand()) / 32767.0f;
}

const EffectParamGroup& Params(Effect* effect)
{
    return effect->params.Group("");
}

bool HasAuto(const EffectParamGroup& group, const std::string& name, uint32_t code)
{
    return std::any_of(group.autoMatrices.begin(), group.autoMatrices.end(),
                       [&](const AutoMatrixParam& p) { return p.name == name && p.code == code; });
}

class Particles : public ::testing::Test {
protected:
    ParticleFolder rig;
};

} // namespace

// ---- Particle data ----

TEST(ParticleDataBlocks, ShareOneDeclarationBuiltOnce)
{
    ASSERT_NE(GetParticleResourceManager(), nullptr);
    ParticleResource first, second;
    first.CreateUnique();
    second.CreateUnique();
    ParticleData* a = first.GetPayload();
    ParticleData* b = second.GetPayload();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->vertexDecl.GetBlock(), b->vertexDecl.GetBlock());
    const VertexDeclData* decl = a->vertexDecl.GetPayload();
    ASSERT_NE(decl, nullptr);
    ASSERT_EQ(decl->elements.size(), 4u); // not added again by the second block
    struct Element {
        uint16_t stream, offset;
        uint8_t type, usage, usageIndex;
    };
    const Element expected[] = {{1, 0, gfx::kDeclFloat16x4, gfx::kDeclUsageTexcoord, 1},
                                {0, 0, gfx::kDeclFloat3, gfx::kDeclUsagePosition, 0},
                                {0, 12, gfx::kDeclFloat3, gfx::kDeclUsageNormal, 0},
                                {0, 24, gfx::kDeclFloat2, gfx::kDeclUsageTexcoord, 0}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(decl->elements[i].stream, expected[i].stream);
        EXPECT_EQ(decl->elements[i].offset, expected[i].offset);
        EXPECT_EQ(decl->elements[i].type, expected[i].type);
        EXPECT_EQ(decl->elements[i].usage, expected[i].usage);
        EXPECT_EQ(decl->elements[i].usageIndex, expected[i].usageIndex);
    }
    EXPECT_EQ(a->vertexDecl.GetStreamStride(0), kParticleVertexStride);
    EXPECT_EQ(a->vertexDecl.GetStreamStride(1), kParticleInstanceStride);
    EXPECT_EQ(decl->usageOffsets.at(gfx::kDeclUsageTexcoord), 24u);

    // Figures at construction; a material of its own, already loaded.
    EXPECT_EQ(a->rate, 1.0f);
    EXPECT_EQ(a->lifetime, 50.0f);
    EXPECT_EQ(a->particleCount, 0u);
    EXPECT_EQ(a->material.GetState(), resource_state::kLoaded);
    EXPECT_NE(a->material.GetBlock(), b->material.GetBlock());
    EXPECT_EQ(a->quad.mesh.sharedDecl, &a->vertexDecl);

    // The copy takes the figures and shares the material; no instance buffer.
    a->particleCount = 7;
    a->rate = 3.0f;
    a->randomness = {1, 2, 3};
    first.CopyPayloadTo(second);
    EXPECT_EQ(b->particleCount, 7u);
    EXPECT_EQ(b->rate, 3.0f);
    EXPECT_EQ(b->randomness.z, 3.0f);
    EXPECT_EQ(b->material.GetBlock(), a->material.GetBlock());
    EXPECT_EQ(b->instanceBuffer, nullptr);
}

// ---- Set-up ----

TEST_F(Particles, SetUpWritesTheStartStateAndTheInstanceRecords)
{
    platform::testing::RestartRand();
    const size_t liveBefore = platform::testing::LiveObjects(*rig.folder.device.device);
    auto emitter = rig.Emitter(32, 2.0f, float4{1.5f, -2.0f, 3.0f, 1.0f});
    ASSERT_TRUE(rig.setUp);
    ParticleData& d = *emitter->Data();

    // The start row: the emitter position, w spaced by the rate.
    const std::vector<float4> texels = Texels(emitter->stateA);
    ASSERT_EQ(texels.size(), 32u);
    for (uint32_t i = 0; i < 32; ++i)
        ExpectVector(texels[i], 1.5f, -2.0f, 3.0f, -2.0f * static_cast<float>(i));
    EXPECT_EQ(texels[31].w, -62.0f);

    // The instance records: the index, then three random values in that order.
    platform::testing::RestartRand();
    for (uint32_t i = 0; i < 32; ++i) {
        const std::array<uint16_t, 4> record = InstanceRecord(d, i);
        const float u1 = RandUnit(), u2 = RandUnit(), u3 = RandUnit();
        EXPECT_EQ(HalfToFloat(record[0]), static_cast<float>(i));
        EXPECT_EQ(record[1], FloatToHalf(u1)) << i;
        EXPECT_EQ(record[2], FloatToHalf(u2)) << i;
        EXPECT_EQ(record[3], FloatToHalf(u3)) << i;
    }
    gfx::BufferDesc desc;
    d.instanceBuffer->GetDesc(&desc);
    EXPECT_EQ(desc.size, 32u * 8u);
    EXPECT_EQ(desc.usage, gfx::kUsageDynamic);
    EXPECT_EQ(d.instanceBuffer->LockCount(), 0u);
    EXPECT_EQ(d.instanceLock, nullptr);

    // State rows: render targets in video memory; the staging row is gone.
    for (TextureResource* state : {&emitter->stateA, &emitter->stateB}) {
        gfx::BaseTexture* texture = state->GetPayload()->texture;
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->Format(), gfx::kFormatA32B32G32R32F);
        EXPECT_EQ(texture->GetUsage(), gfx::kUsageRenderTarget);
        EXPECT_EQ(texture->GetPool(), gfx::kPoolDefault);
    }
    // Alive now: A, B, three curve textures, the instance buffer, the buffers
    // of the particle quad and of the update pass's quad, the particle
    // declaration; not the staging row.
    EXPECT_EQ(platform::testing::LiveObjects(*rig.folder.device.device) - liveBefore, 11u);

    // One node per particle, every one drawing the quad mesh.
    const SceneList<SceneNode>* nodes = emitter->particleScene.Nodes();
    ASSERT_NE(nodes, nullptr);
    ASSERT_EQ(nodes->count, 32u);
    for (uint32_t i = 0; i < 32; ++i)
        EXPECT_EQ(static_cast<MeshNode*>(nodes->items[i])->mesh.GetBlock(), d.quad.mesh.GetBlock());
    EXPECT_TRUE(rig.boxes.Shown().empty());
}

TEST_F(Particles, SetUpWiresTheUpdatePassAndBothEffects)
{
    auto emitter = rig.Emitter(32, 2.0f, float4{4, 5, 6, 1});
    ParticleData& d = *emitter->Data();
    PostPass& pass = emitter->updatePass;
    EXPECT_EQ(pass.name, "post");
    EXPECT_EQ(pass.keepContents, 1);
    EXPECT_EQ(pass.target, &emitter->stateB.GetPayload()->target);
    EXPECT_EQ(pass.copyAfterDraw, &emitter->stateA.GetPayload()->target);
    EXPECT_NE(std::find(pass.subRenderers.begin(), pass.subRenderers.end(), &emitter->drawTemplate),
              pass.subRenderers.end());

    Effect* update = emitter->UpdateEffect();
    EXPECT_EQ(update->GetPayload()->sourceName.View(), "particleUpdater.fx");
    EXPECT_NE(update->CurrentEffect(), nullptr);
    const EffectParamGroup& u = Params(update);
    EXPECT_TRUE(HasAuto(u, "MatWorldViewProj", 0));
    EXPECT_EQ(u.textures.at("texInput"), &emitter->stateA);
    ExpectVector(u.vectors.at("emitterPos"), 4, 5, 6, 1);
    EXPECT_EQ(u.floats.at("delta"), 0.0f);
    EXPECT_EQ(u.floats.at("rate"), 2.0f);
    EXPECT_EQ(u.floats.at("lifetime"), 50.0f);

    ASSERT_NE(emitter->drawEffect, nullptr);
    EXPECT_EQ(emitter->drawEffect, d.material.GetEffect());
    EXPECT_EQ(emitter->drawEffect->GetPayload()->sourceName.View(), "particle.fx");
    const EffectParamGroup& g = Params(emitter->drawEffect);
    EXPECT_TRUE(HasAuto(g, "MatWorldViewProj", 0));
    EXPECT_TRUE(HasAuto(g, "MatWorld", 1));
    EXPECT_TRUE(HasAuto(g, "MatView", 3));
    EXPECT_EQ(g.textures.at("texInput"), &emitter->stateA);
    EXPECT_EQ(g.textures.at("posMap"), &d.posMap);
    EXPECT_EQ(g.textures.at("posRndMap"), &d.posRndMap);
    EXPECT_EQ(g.textures.at("rotMap"), &d.rotMap);
    EXPECT_EQ(g.floats.at("numParticles"), 32.0f);
    EXPECT_EQ(g.floats.at("numSamples"), 32.0f);
    EXPECT_EQ(g.floats.at("lifetime"), 50.0f);
    ExpectVector(g.vectors.at("sampleSize"), 0.03125f, 0, 0, 0);
    for (TextureResource* map : {&d.posMap, &d.posRndMap, &d.rotMap})
        EXPECT_EQ(Texels(*map).size(), 32u);
}

TEST_F(Particles, TheDrawQueueHoldsOneRecordDrawnAsOneInstancedDrawOfEveryParticle)
{
    auto emitter = rig.Emitter(32);
    ParticleData& d = *emitter->Data();
    EmitterTemplate& draw = emitter->drawTemplate;
    EXPECT_EQ(draw.keep, 1);
    ASSERT_EQ(draw.instanceList.Count(), 1u);
    DrawRecord* record = draw.instanceList.items[0];
    MeshData* quad = d.quad.mesh.GetPayload();
    EXPECT_EQ(record, &quad->currentSubsets->items[0].drawRecord);
    EXPECT_EQ(record->flags, kParticleDrawFlags);
    EXPECT_EQ(record->instanceCount, 32);
    EXPECT_EQ(record->instanceBuffer, d.instanceBuffer);
    EXPECT_EQ(record->instanceOffset, 0u);
    EXPECT_EQ(record->vertexStride, 32u);
    EXPECT_EQ(record->instanceStride, 8u);
    EXPECT_EQ(record->effect, emitter->drawEffect);

    // Rendering keeps the queue (keep is set) and patches the record again.
    record->flags = 0;
    record->instanceCount = 0;
    draw.Render();
    EXPECT_EQ(draw.instanceList.Count(), 1u);
    EXPECT_EQ(record->flags, kParticleDrawFlags);
    EXPECT_EQ(record->instanceCount, 32);

    // A disabled template is not patched.
    draw.enabled = 0;
    record->flags = 0;
    draw.Render();
    EXPECT_EQ(record->flags, 0);

    // Before set-up there is nothing to patch; without keep the queue is emptied.
    ParticleEmitter bare;
    bare.drawTemplate.Render();
    EXPECT_EQ(bare.drawTemplate.instanceList.Count(), 0u);
}

TEST_F(Particles, SetUpRefusesNoParticlesAndWritesNothingThroughAFailedLock)
{
    {
        zandrel_test::CoutCapture out;
        rig.Emitter(0);
        EXPECT_FALSE(rig.setUp);
        EXPECT_NE(out.Text().find("Particle emitter without particles not set up.\n"), std::string::npos);
    }
    struct Case {
        const char* call;
        gfx::Result result;
        std::vector<std::string> boxes; // the start of each error shown
        bool rowWritten;
        bool recordsWritten;
    };
    const Case cases[] = {
        {"LockRect", gfx::kInvalidCall, {"LockRect failed.\n"}, false, true},
        // A row still locked cannot be copied either.
        {"UnlockRect", gfx::kInvalidCall, {"UnlockRect failed.\n", "UpdateTexture failed. "}, false, true},
        {"UpdateTexture", gfx::kOutOfVideoMemory, {"UpdateTexture failed. "}, false, true},
        {"VertexBuffer::Lock", gfx::kInvalidCall, {}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        rig.boxes.Clear();
        platform::testing::GfxFailureInjection inject;
        // Past the calls made before the set-up: the quad's vertex buffer
        // lock, the three curve bakes' texture calls.
        inject.Fail(c.call, c.result, 1, std::string(c.call) == "VertexBuffer::Lock" ? 1 : 3);
        auto emitter = rig.Emitter(8, 1.0f, float4{1, 1, 1, 1});
        inject.Clear();
        EXPECT_TRUE(rig.setUp);
        ASSERT_EQ(rig.boxes.Shown().size(), c.boxes.size());
        for (size_t i = 0; i < c.boxes.size(); ++i)
            EXPECT_EQ(rig.boxes.Shown()[i].text.rfind(c.boxes[i], 0), 0u) << rig.boxes.Shown()[i].text;
        const std::vector<float4> texels = Texels(emitter->stateA);
        ASSERT_EQ(texels.size(), 8u);
        EXPECT_EQ(texels[7].x, c.rowWritten ? 1.0f : 0.0f);
        EXPECT_EQ(HalfToFloat(InstanceRecord(*emitter->Data(), 7)[0]), c.recordsWritten ? 7.0f : 0.0f);
    }
}

// ---- Per frame ----

TEST_F(Particles, EachFrameTheEmitterHandsItsEffectsThePositionJitterDeltaAndWind)
{
    auto emitter = rig.Emitter(4);
    ParticleData& d = *emitter->Data();
    SceneNode parent;
    parent.SetPosition(float4{10, 0, 0, 1});
    emitter->node.SetParent(&parent);
    emitter->node.SetPosition(float4{1, 2, 3, 1});
    const EffectParamGroup& update = Params(emitter->UpdateEffect());
    const EffectParamGroup& draw = Params(emitter->drawEffect);

    struct Case {
        const char* name;
        float3 randomness;
        uint8_t localSpace;
        float4 expected; // before the jitter
    };
    const Case cases[] = {
        {"world space, no jitter", {0, 0, 0}, 0, {11, 2, 3, 1}},
        {"jitter in x", {1, 0, 0}, 0, {11, 2, 3, 1}},
        {"jitter in all three", {0.5f, 2, -3}, 0, {11, 2, 3, 1}},
        {"local space", {0, 0, 0}, 1, {0, 0, 0, 0}},
        {"jitter that is no number", {0, std::numeric_limits<float>::quiet_NaN(), 0}, 0, {11, 2, 3, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d.randomness = c.randomness;
        d.localSpace = c.localSpace;
        platform::testing::RestartRand();
        emitter->UpdateEmitter();
        const int after = platform::os::Rand();
        // Three draws, for z, y and x in that order, only when there is a jitter.
        platform::testing::RestartRand();
        float4 p = c.expected;
        const float3 r = c.randomness;
        if (!(r.x == 0 && r.y == 0 && r.z == 0)) {
            const float uz = RandUnit(), uy = RandUnit(), ux = RandUnit();
            p.x += -r.x + 2 * r.x * ux;
            p.y += -r.y + 2 * r.y * uy;
            p.z += -r.z + 2 * r.z * uz;
        }
        const float4 got = update.vectors.at("emitterPos");
        EXPECT_NEAR(got.x, p.x, 1e-5f);
        EXPECT_NEAR(got.z, p.z, 1e-5f);
        if (std::isnan(r.y))
            EXPECT_TRUE(std::isnan(got.y));
        else
            EXPECT_NEAR(got.y, p.y, 1e-5f);
        EXPECT_EQ(got.w, p.w);
        // rand() was called for the jitter only.
        const int next = platform::os::Rand();
        EXPECT_EQ(after, next);
        const float4 rnd = update.vectors.at("randomness");
        EXPECT_EQ(rnd.w, 1.0f);
        if (c.localSpace)
            ExpectVector(draw.vectors.at("globalOffset"), 11, 2, 3, 1);
    }
    // delta: the clock's step (0.4 of 30 times the parent's 1 s without a global clock: 12).
    emitter->clock.SetTimeScale(0.4f);
    emitter->UpdateEmitter();
    EXPECT_FLOAT_EQ(update.floats.at("delta"), 12.0f);
    EXPECT_EQ(draw.vectors.count("WindVec"), 0u);
    float4 wind{2, 0, 4, 0};
    emitter->wind = &wind;
    emitter->UpdateEmitter();
    ExpectVector(draw.vectors.at("WindVec"), 1, 0, 2, 0);
    // The per-frame list runs it.
    wind = float4{4, 4, 4, 4};
    rig.dynamics.UpdateDynamics();
    ExpectVector(draw.vectors.at("WindVec"), 2, 2, 2, 2);
    emitter->node.SetParent(nullptr);
}

// ---- Groups ----

TEST_F(Particles, TheGroupKeepsItsUpdatePassesLastInGroupOrder)
{
    auto e1 = rig.Emitter(2);
    auto e2 = rig.Emitter(2);
    RenderPassList list;
    RenderPass p, q, r;
    list.passes = {&p, &q};
    ParticleGroup group;
    RenderPass* u1 = &e1->updatePass;
    RenderPass* u2 = &e2->updatePass;

    // Without a pass list nothing is appended.
    AddEmitter(group, e1.get());
    RefreshEmitterPasses(group);
    EXPECT_EQ(list.passes, (std::vector<RenderPass*>{&p, &q}));

    group.passListOwner = &list;
    AddEmitter(group, e2.get());
    RefreshEmitterPasses(group);
    EXPECT_EQ(list.passes, (std::vector<RenderPass*>{&p, &q, u1, u2}));
    RefreshEmitterPasses(group);
    EXPECT_EQ(list.passes, (std::vector<RenderPass*>{&p, &q, u1, u2}));

    // A pass appended after them: the group's passes still end the list, once each.
    list.passes.push_back(&r);
    RefreshEmitterPasses(group);
    EXPECT_EQ(list.passes, (std::vector<RenderPass*>{&p, &q, &r, u1, u2}));
    list.passes = {&p, u1, &q, u2, &r};
    RemoveEmitter(group, e1.get());
    EXPECT_EQ(list.passes, (std::vector<RenderPass*>{&p, &q, &r, u2})); // none left behind
    EXPECT_EQ(group.emitters, std::vector<ParticleEmitter*>{e2.get()});

    // An emitter added twice stays once after one removal.
    AddEmitter(group, e2.get());
    RefreshEmitterPasses(group);
    RemoveEmitter(group, e2.get());
    EXPECT_EQ(group.emitters, std::vector<ParticleEmitter*>{e2.get()});
    EXPECT_EQ(list.passes, (std::vector<RenderPass*>{&p, &q, &r, u2}));

    // Without a pass list the emitter is still erased.
    group.passListOwner = nullptr;
    RemoveEmitter(group, e2.get());
    EXPECT_TRUE(group.emitters.empty());
}

TEST_F(Particles, QueuedEmittersStandInReverseGroupOrderAtTheIndex)
{
    SceneRenderer frame;
    auto e1 = rig.Emitter(2);
    auto e2 = rig.Emitter(2);
    RendererTemplate lTemplate, mTemplate;
    RenderQueue* l = &lTemplate.instanceList;
    RenderQueue* m = &mTemplate.instanceList;
    frame.queues = {l, m};
    ParticleGroup group;
    AddEmitter(group, e1.get());
    AddEmitter(group, e2.get());
    RenderQueue* u1 = &e1->updatePass.renderer.instanceList;
    RenderQueue* d1 = &e1->drawTemplate.instanceList;
    RenderQueue* u2 = &e2->updatePass.renderer.instanceList;
    RenderQueue* d2 = &e2->drawTemplate.instanceList;

    QueueEmitters(group, &frame, 0);
    EXPECT_EQ(frame.queues, (std::vector<RenderQueue*>{u2, d2, u1, d1, l, m}));
    // Queued again elsewhere: taken out first, never twice.
    QueueEmitters(group, &frame, 1);
    EXPECT_EQ(frame.queues, (std::vector<RenderQueue*>{l, u2, d2, u1, d1, m}));
    // An index past the end appends.
    QueueEmitters(group, &frame, 99);
    EXPECT_EQ(frame.queues, (std::vector<RenderQueue*>{l, m, u2, d2, u1, d1}));
    // Removing takes the emitter's queues out of the current renderer's list.
    RemoveEmitter(group, e1.get());
    EXPECT_EQ(frame.queues, (std::vector<RenderQueue*>{l, m, u2, d2}));
    QueueEmitters(group, nullptr, 0); // no renderer: nothing to do
}
