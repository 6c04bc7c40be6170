// Drawing the render queues: runs of adjacent equal records become instanced
// batches in the pool, everything else draws once with instancing off; each
// draw binds only what changed, gets its constants and lights, and draws every
// pass of its effect; failures print their line and drawing goes on.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "kernel/math/float4x4.h"
#include "platform/gfx/device.h"
#include "platform/gfx/draw_types.h"
#include "platform/gfx/query.h"
#include "platform/testing/gfx_call_record.h"
#include "platform/testing/gfx_failure_injection.h"
#include "render/light_node.h"
#include "render/render_device.h"
#include "tests/render/draw_test_support.h"

using draw_test::DrawRig;
using draw_test::Floats;
using draw_test::InstancesOf;
using draw_test::QuadNode;
using draw_test::TestMaterial;
using draw_test::Uploaded;
using platform::testing::GfxCallRecord;
using platform::testing::GfxFailureInjection;

namespace {

// World matrix of queue entry i: a translation by i and a scale of i + 2, so
// element (1,1) tells the entries apart too.
float4x4 EntryWorld(uint32_t i)
{
    float4x4 m = draw_test::Translation(static_cast<float>(i), 0.0f, 0.0f);
    m(0, 0) = static_cast<float>(i + 2);
    return m;
}

class Drawing : public DrawRig {
protected:
    void SetUp() override
    {
        DrawRig::SetUp();
        for (uint32_t i = 0; i < 32; ++i)
            worlds[i] = EntryWorld(i);
        material = std::make_unique<TestMaterial>(run.Device());
        ASSERT_TRUE(material->made);
        for (char letter : std::string("ABC"))
            quads[letter] = std::make_unique<QuadNode>(*material);
        // The pool is made at the first draw ("Allocating instancing buffers ...").
        renderer->DrawInstanced("diff", 1, 1);
        run.ClearOut();
    }
    void TearDown() override
    {
        quads.clear();
        material.reset();
        DrawRig::TearDown();
    }

    // Fills `queue` from a word of letters, one quad per letter.
    void Fill(RenderQueue& queue, const std::string& word)
    {
        for (size_t i = 0; i < word.size(); ++i)
            queue.Append(&quads.at(word[i])->Record(), &worlds[i]);
    }

    char LetterOf(const gfx::DrawRecord& draw)
    {
        for (auto& [letter, quad] : quads)
            if (quad->Record().vertexBuffer == draw.streams[0].buffer)
                return letter;
        return '?';
    }

    // Each draw as its letter and instance count ("A3 B1").
    std::string Summary(const std::vector<gfx::DrawRecord>& draws)
    {
        std::string out;
        for (const auto& draw : draws)
            out += (out.empty() ? "" : " ") + std::string(1, LetterOf(draw)) + std::to_string(draw.instanceCount);
        return out;
    }

    std::unique_ptr<TestMaterial> material;
    std::map<char, std::unique_ptr<QuadNode>> quads;
    float4x4 worlds[32];
};

} // namespace

TEST_F(Drawing, RunsOfEqualRecordsBecomeBatchesWithTheirOwnInstances)
{
    struct Case {
        std::string queue;
        std::string draws;
        std::vector<uint32_t> batchStarts; // first entry of each batch, in draw order
    };
    const Case cases[] = {
        {"AAAB", "A3 B1", {0}},
        {"AA", "A1 A1", {}},             // a pair at the end never starts a run
        {"A", "A1", {}},
        {"AAA", "A3", {0}},              // the last entry ends a run begun before it
        {"ABBBA", "A1 B3 A1", {1}},
        {"AABAA", "A2 B1 A1 A1", {0}},
        {"AAABAAAC", "A3 B1 A3 C1", {0, 4}}, // one record, two runs: each draws its own
        {"AABB", "A2 B1 B1", {0}},
        {"ABC", "A1 B1 C1", {}},
    };
    for (const Case& c : cases) {
        RenderQueue queue(16);
        Fill(queue, c.queue);
        renderer->queues = {&queue};
        GfxCallRecord record;
        renderer->DrawInstanced("diff", 1, 1);
        const auto draws = record.Draws();
        EXPECT_EQ(Summary(draws), c.draws) << c.queue;
        size_t batch = 0;
        for (const auto& draw : draws) {
            if (draw.instanceCount == 1) {
                EXPECT_EQ(draw.streams[0].frequency, 1u) << c.queue << ": a single draw is not instanced";
                continue;
            }
            ASSERT_LT(batch, c.batchStarts.size()) << c.queue;
            const uint32_t start = c.batchStarts[batch++];
            EXPECT_EQ(draw.streams[1].stride, 64u);
            const auto instances = InstancesOf(draw);
            ASSERT_EQ(instances.size(), draw.instanceCount);
            for (uint32_t k = 0; k < instances.size(); ++k) {
                float4x4 expected = worlds[start + k];
                expected(3, 3) = expected(0, 0); // the default flags put (1,1) into (4,4)
                EXPECT_EQ(Floats(instances[k]), Floats(expected)) << c.queue << " instance " << k;
            }
            // A batch is drawn with the renderer's own placement as its world.
            EXPECT_EQ(Uploaded(draw, "MatWorld"), Floats(IdentityMatrix())) << c.queue;
        }
        EXPECT_EQ(batch, c.batchStarts.size()) << c.queue;
        EXPECT_EQ(run.Renderer()->DrawCalls(), draws.size());
        run.Renderer()->ResetDrawCalls();
    }
}

TEST_F(Drawing, InstanceElementFourFourFollowsTheFlags)
{
    struct Case {
        uint8_t flags;
        float element44[3]; // per instance of "AAAB"
    };
    const Case cases[] = {
        {kDrawRecordScaleInW | kDrawRecordRendererWorld, {2.0f, 3.0f, 4.0f}},
        {kDrawRecordIndexInW | kDrawRecordRendererWorld, {0.0f, 1.0f, 2.0f}},
        {kDrawRecordScaleInW | kDrawRecordIndexInW, {2.0f, 3.0f, 4.0f}},
        {0, {1.0f, 1.0f, 1.0f}},
    };
    for (const Case& c : cases) {
        quads['A']->Record().flags = c.flags;
        RenderQueue queue(16);
        Fill(queue, "AAAB");
        renderer->queues = {&queue};
        GfxCallRecord record;
        renderer->DrawInstanced("diff", 1, 1);
        const auto draws = record.Draws();
        ASSERT_EQ(Summary(draws), "A3 B1") << int(c.flags);
        const auto instances = InstancesOf(draws[0]);
        ASSERT_EQ(instances.size(), 3u);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(instances[k](3, 3), c.element44[k]) << int(c.flags) << " instance " << k;
        // Without the renderer-world flag the batch keeps its first entry's world.
        const float4x4 batchWorld = (c.flags & kDrawRecordRendererWorld) ? IdentityMatrix() : worlds[0];
        EXPECT_EQ(Uploaded(draws[0], "MatWorld"), Floats(batchWorld)) << int(c.flags);
    }
}

TEST_F(Drawing, WithoutInstancingEveryEntryDrawsOnceAndTheStreamsStayUntouched)
{
    run.Renderer()->SetAllowInstancing(false);
    RenderQueue queue(16);
    Fill(queue, "AAAB");
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(Summary(record.Draws()), "A1 A1 A1 B1");
    EXPECT_EQ(record.Count("SetStreamSourceFreq"), 0u);
    EXPECT_EQ(quads['A']->Record().instanceRunLength, 0);
    // Equal records one after another bind their buffers once.
    EXPECT_EQ(record.Count("SetStreamSource"), 2u);
    EXPECT_EQ(record.Count("SetIndices"), 2u);
}

TEST_F(Drawing, ARecordThatStopsBatchingDrawsItselfAndEverythingAfterSingly)
{
    quads['B']->Record().flags = kDrawRecordNoInstancing;
    RenderQueue queue(16);
    Fill(queue, "AABBBCC" "C");
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    // The batch flushed before it keeps its instances; the B entries do not
    // draw through A's instance stream.
    EXPECT_EQ(Summary(record.Draws()), "A2 B1 B1 B1 C1 C1 C1");
}

TEST_F(Drawing, AQueueHeadedByARecordWithItsOwnInstancesIsNeitherResetNorBatched)
{
    gfx::VertexBuffer* own = nullptr;
    ASSERT_TRUE(run.Renderer()->CreateVertexBuffer(&own, 4, 64, gfx::kUsageDynamic));
    DrawRecord& particle = quads['C']->Record();
    particle.flags = 0x2A;
    particle.instanceRunLength = 3;
    particle.instanceBuffer = own;
    particle.instanceBufferOffset = 64;
    RenderQueue queue(16);
    Fill(queue, "CC");
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    const auto draws = record.Draws();
    // Each entry draws with the figures its record still holds, and the loop
    // does not skip past them.
    EXPECT_EQ(Summary(draws), "C3 C3");
    for (const auto& draw : draws) {
        EXPECT_EQ(draw.streams[1].buffer, own);
        EXPECT_EQ(draw.streams[1].offset, 64u);
    }
    EXPECT_EQ(particle.instanceRunLength, 3);
    run.Renderer()->ReleaseVertexBuffer(own);
}

TEST_F(Drawing, AQueueDoesNotStartDrawingThroughTheLastQueuesBatch)
{
    RenderQueue first(16), second(16);
    Fill(first, "AAA");
    Fill(second, "B");
    renderer->queues = {&first, &second};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(Summary(record.Draws()), "A3 B1");
}

TEST_F(Drawing, SkippedQueuesAreNotDrawn)
{
    RenderQueue first(16), second(16);
    Fill(first, "A");
    Fill(second, "B");
    second.skip = 1;
    renderer->queues = {&first, &second};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(Summary(record.Draws()), "A1");
}

TEST_F(Drawing, TheFirstDrawMakesThePoolAndEveryDrawLeavesItClean)
{
    RenderQueue queue(16);
    Fill(queue, "AAAB");
    renderer = std::make_unique<SceneRenderer>();
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(run.Out(), "Allocating instancing buffers for 0.000488281 MB\n");
    const auto made = record.Calls("CreateVertexBuffer");
    ASSERT_EQ(made.size(), 6u);
    for (const auto& call : made) {
        EXPECT_EQ(call.args[1], 8u * 64u);
        EXPECT_EQ(call.args[2], gfx::kUsageDynamic);
        EXPECT_EQ(call.args[4], gfx::kPoolDefault);
    }
    EXPECT_EQ(renderer->instancingBufferBytes, 512u);
    // Both passes wrote their batch with a discarding lock of buffer 0.
    const auto locks = record.Calls("VertexBuffer::Lock");
    ASSERT_EQ(locks.size(), 2u);
    for (const auto& lock : locks) {
        EXPECT_EQ(lock.args[0], gfx::detail::Arg(renderer->instancingBuffers[0]));
        EXPECT_EQ(lock.args[3], gfx::kLockDiscard);
    }
    for (gfx::VertexBuffer* buffer : renderer->instancingBuffers)
        EXPECT_EQ(buffer->LockCount(), 0u);
    EXPECT_EQ(renderer->currentEffect, nullptr);
    EXPECT_EQ(renderer->currentVertexBuffer, nullptr);
    EXPECT_EQ(renderer->stagedMatrices, 0u);
    EXPECT_EQ(renderer->effectDirty, 0);
    EXPECT_FALSE(material->GetEffect()->CurrentEffect()->IsBegun());
    EXPECT_EQ(run.Renderer()->Instancing().instanceStream, nullptr);
    uint32_t frequency = 0;
    run.Device()->GetStreamSourceFreq(0, &frequency);
    EXPECT_EQ(frequency, 1u);
    run.Device()->GetStreamSourceFreq(1, &frequency);
    EXPECT_EQ(frequency, 1u);
}

TEST_F(Drawing, RunsThatFindNoRoomDrawEntryByEntry)
{
    // Eight instances a buffer: a run of ten does not fit any buffer, and
    // seven runs of seven need a seventh buffer.
    struct Case {
        std::string queue;
        size_t instancedDraws;
        size_t boxes;
    };
    std::string sevenRuns;
    for (int i = 0; i < 7; ++i)
        sevenRuns += "AAAAAAAB";
    const Case cases[] = {
        {"AAAAAAAAAAB", 0, 0},
        {sevenRuns, 6, 1},
    };
    for (const Case& c : cases) {
        RenderQueue queue(64);
        for (size_t i = 0; i < c.queue.size(); ++i)
            queue.Append(&quads.at(c.queue[i])->Record(), &worlds[i % 32]);
        renderer->queues = {&queue};
        run.ClearBoxes();
        GfxCallRecord record;
        renderer->DrawInstanced("diff", 1, 1);
        size_t instanced = 0, drawnInstances = 0;
        for (const auto& draw : record.Draws()) {
            instanced += draw.instanceCount > 1 ? 1 : 0;
            drawnInstances += draw.instanceCount;
        }
        EXPECT_EQ(instanced, c.instancedDraws) << c.queue;
        EXPECT_EQ(drawnInstances, c.queue.size()) << c.queue; // nothing lost, nothing twice
        ASSERT_EQ(run.Boxes().size(), c.boxes) << c.queue;
        if (c.boxes) {
            EXPECT_EQ(run.Boxes()[0].text.rfind("Out of instancing buffers.\n", 0), 0u);
        }
        for (gfx::VertexBuffer* buffer : renderer->instancingBuffers)
            EXPECT_EQ(buffer->LockCount(), 0u);
    }
}

TEST_F(Drawing, EveryPassOfTheEffectDrawsEachBatchInOrder)
{
    RenderQueue queue(16);
    Fill(queue, "AAAB");
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("three", 1, 1);
    const auto draws = record.Draws();
    ASSERT_EQ(Summary(draws), "A3 A3 A3 B1 B1 B1");
    for (size_t i = 0; i < draws.size(); ++i) {
        EXPECT_EQ(draws[i].effect.technique, "three");
        EXPECT_EQ(draws[i].effect.pass, i % 3);
    }
    EXPECT_EQ(renderer->passCount, 3);
    EXPECT_EQ(material->GetEffect()->passCount, 3u);
}

TEST_F(Drawing, ADisabledRecordBindsItsBuffersButDrawsNothing)
{
    DrawRecord& a = quads['A']->Record();
    a.enabled = 0;
    RenderQueue queue(16);
    Fill(queue, "AB");
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(Summary(record.Draws()), "B1");
    const auto streams = record.Calls("SetStreamSource");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].args[1], gfx::detail::Arg(a.vertexBuffer));
    const auto indices = record.Calls("SetIndices");
    ASSERT_EQ(indices.size(), 2u);
    EXPECT_EQ(indices[0].args[0], gfx::detail::Arg(a.indexBuffer));
}

TEST_F(Drawing, RecordsWhoseEffectIsMissingOrLacksTheTechniqueAreSkipped)
{
    TestMaterial empty(run.Device(), "this is not an effect");
    EXPECT_FALSE(empty.made);
    QuadNode broken(empty);
    TestMaterial noDepth(run.Device(), "float4 tint;\ntechnique diff { pass p0 { } }\n", "nodepth.fx");
    ASSERT_TRUE(noDepth.made);
    QuadNode diffOnly(noDepth);

    RenderQueue queue(16);
    queue.Append(&broken.Record(), &worlds[0]);
    queue.Append(&quads['A']->Record(), &worlds[1]);
    queue.Append(&diffOnly.Record(), &worlds[2]);
    renderer->queues = {&queue};
    GfxCallRecord record;
    run.ClearOut();
    renderer->DrawInstanced("depth", 1, 1);
    renderer->DrawInstanced("depth", 1, 1);
    EXPECT_EQ(Summary(record.Draws()), "A1 A1");
    EXPECT_EQ(run.Out(), "Effect nodepth.fx has no technique depth\n"); // said once
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(record.Draws().size(), 4u);
}

TEST_F(Drawing, LightsReachTheEffectExceptInTheDepthPass)
{
    LightNode sun(kLightDirectional), sky(kLightAmbient), haze(kLightFog), odd(7), dusk(kLightDirectional);
    sun.colour = {1.0f, 0.5f, 0.25f, 1.0f};
    sun.SetRotation(QuatFromAxisAngle({0.0f, 1.0f, 0.0f}, 1.5707964f));
    dusk.colour = {0.5f, 0.0f, 0.0f, 1.0f};
    sky.colour = {0.1f, 0.2f, 0.3f, 1.0f};
    haze.colour = {0.7f, 0.7f, 0.8f, 1.0f};
    odd.colour = {9.0f, 9.0f, 9.0f, 9.0f};
    std::vector<LightRecord*> lights{&sun.FillLightRecord(), &sky.FillLightRecord(), &haze.FillLightRecord(),
                                     &odd.FillLightRecord(), &dusk.FillLightRecord()};
    renderer->fogMult = 2.5f;

    struct Case {
        std::string pass;
        uint8_t hdr;
        bool lit;
    };
    const Case cases[] = {{"diff", 0, true}, {"diff", 1, true}, {"depth", 1, false}};
    for (const Case& c : cases) {
        TestMaterial fresh(run.Device());
        QuadNode quad(fresh);
        RenderQueue own(16);
        own.Append(&quad.Record(), &worlds[0]);
        own.lightList = &lights;
        renderer->queues = {&own};
        renderer->hdrEnabled = c.hdr;
        renderer->exposure = 0.5f;
        GfxCallRecord record;
        renderer->DrawInstanced(c.pass, 1, 1);
        const auto draws = record.Draws();
        ASSERT_EQ(draws.size(), 1u) << c.pass;
        if (c.lit) {
            // A later record of a type overwrites an earlier one; other types are ignored.
            EXPECT_EQ(Uploaded(draws[0], "LightColor"), (std::vector<float>{0.5f, 0.0f, 0.0f, 1.0f}));
            EXPECT_EQ(Uploaded(draws[0], "LightDir"), (std::vector<float>{0.0f, 0.0f, 1.0f, 0.0f}));
            EXPECT_EQ(Uploaded(draws[0], "AmbientColor"), (std::vector<float>{0.1f, 0.2f, 0.3f, 1.0f}));
            EXPECT_EQ(Uploaded(draws[0], "FogColor"), (std::vector<float>{0.7f, 0.7f, 0.8f, 1.0f}));
            EXPECT_EQ(Uploaded(draws[0], "fogMult"), std::vector<float>{2.5f});
            EXPECT_EQ(Uploaded(draws[0], "exposure"), std::vector<float>{c.hdr ? 0.5f : 0.0f}) << c.pass;
        } else {
            for (const char* name : {"LightColor", "LightDir", "AmbientColor", "FogColor"})
                EXPECT_EQ(Uploaded(draws[0], name), (std::vector<float>{0, 0, 0, 0})) << name;
            EXPECT_EQ(Uploaded(draws[0], "fogMult"), std::vector<float>{0.0f});
            EXPECT_EQ(Uploaded(draws[0], "exposure"), std::vector<float>{0.0f});
        }
    }
    // The sun's direction is its local +z axis after its turn about y.
    const auto sunRecord = sun.FillLightRecord();
    EXPECT_NEAR(sunRecord.direction.x, 1.0f, 1e-6f);
    EXPECT_NEAR(sunRecord.direction.z, 0.0f, 1e-6f);
}

TEST_F(Drawing, FailedDeviceCallsPrintTheirLineAndDrawingGoesOn)
{
    RenderQueue queue(16);
    Fill(queue, "AB");
    renderer->queues = {&queue};
    struct Case {
        const char* call;
        std::string out;
        uint32_t drawCalls;
    };
    const Case cases[] = {
        {"DrawIndexedPrimitive", "DIP failed: ", 1},
        {"SetStreamSource", "SetStreamSource error.\n", 2},
        {"SetVertexDeclaration", "SetVertexDeclaration failed.\n", 2},
        {"SetIndices", "SetIndices error.\n", 2},
        {"SetRenderState", "SetRenderState failed.\n", 2},
    };
    uint8_t writes = 0;
    for (const Case& c : cases) {
        // Nothing cached: every binding and both write states reach the device.
        renderer->declarationSetter.applied = 0;
        renderer->indexSetter.applied = 0;
        writes ^= 1;
        run.Renderer()->ResetDrawCalls();
        GfxFailureInjection failures;
        failures.Fail(c.call, gfx::kInvalidCall);
        run.ClearOut();
        renderer->DrawInstanced("diff", writes, writes);
        EXPECT_EQ(run.Out().rfind(c.out, 0), 0u) << c.call << ": " << run.Out();
        EXPECT_EQ(run.Renderer()->DrawCalls(), c.drawCalls) << c.call;
    }
    run.ClearOut();
    {
        GfxFailureInjection failures;
        failures.Fail("DrawIndexedPrimitive", gfx::kInvalidCall);
        renderer->DrawInstanced("diff", 1, 1);
    }
    EXPECT_NE(run.Out().find("DIP failed: " + std::string(gfx::DescribeResult(gfx::kInvalidCall)) + "\n"),
              std::string::npos)
        << run.Out();
}

TEST_F(Drawing, AQueryIsIssuedAroundTheDrawsOfItsTarget)
{
    gfx::Query* query = nullptr;
    ASSERT_EQ(run.Device()->CreateQuery(gfx::kQueryOcclusion, &query), gfx::kOk);
    RenderTargetRecord other;
    struct Case {
        RenderTargetRecord* target;
        size_t issues;
    };
    const Case cases[] = {{nullptr, 2}, {&run.Renderer()->BackBufferTarget(), 2}, {&other, 0}};
    for (const Case& c : cases) {
        DrawQuery drawQuery{query, c.target};
        quads['A']->Record().query = &drawQuery;
        RenderQueue queue(16);
        Fill(queue, "A");
        renderer->queues = {&queue};
        GfxCallRecord record;
        renderer->DrawInstanced("diff", 1, 1);
        const auto issues = record.Calls("Query::Issue");
        ASSERT_EQ(issues.size(), c.issues);
        if (c.issues) {
            EXPECT_EQ(issues[0].args[1], gfx::kIssueBegin);
            EXPECT_EQ(issues[1].args[1], gfx::kIssueEnd);
            const auto names = record.Names();
            const auto draw = std::find(names.begin(), names.end(), "DrawIndexedPrimitive");
            const auto end = std::find(draw, names.end(), "Query::Issue");
            EXPECT_NE(end, names.end());
        }
    }
    quads['A']->Record().query = nullptr;
    query->Release();
}
