// Drawing the render queues: runs of adjacent equal records become instanced
// batches in the pool, everything else draws once with instancing off; each
// draw binds only what changed, gets its constants and lights, and draws every
// pass of its effect; failures print their line and drawing goes on.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "kernel/math/float4x4.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/query.h"
#include "render/device/render_device.h"
#include "render/nodes/light_node.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
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

    char LetterOf(const gfx::RecordedDraw& draw)
    {
        for (auto& [letter, quad] : quads)
            if (quad->Record().vertexBuffer == draw.streams[0].buffer)
                return letter;
        return '?';
    }

    // Each draw as its letter and instance count ("A3 B1").
    std::string Summary(const std::vector<gfx::RecordedDraw>& draws)
    {
        std::string out;
        for (const auto& draw : draws) {
            if (!out.empty())
                out += ' ';
            out += LetterOf(draw);
            out += std::to_string(draw.instanceCount);
        }
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
        std::vector<std::string> queues;
        std::string draws;                 // letter and instance count of each draw
        std::vector<uint32_t> batchStarts; // first entry of each batch, in draw order
        bool instancing = true;
        uint8_t flagsOfB = kDrawRecordDefaultFlags;
        bool skipSecond = false;
    };
    const Case cases[] = {
        {{"AAAB"}, "A3 B1", {0}},
        {{"AA"}, "A1 A1", {}}, // a pair at the end never starts a run
        {{"A"}, "A1", {}},
        {{"AAA"}, "A3", {0}}, // the last entry ends a run begun before it
        {{"ABBBA"}, "A1 B3 A1", {1}},
        {{"AABAA"}, "A2 B1 A1 A1", {0}},
        {{"AAABAAAC"}, "A3 B1 A3 C1", {0, 4}}, // one record, two runs: each draws its own
        {{"AABB"}, "A2 B1 B1", {0}},
        {{"AAAB"}, "A1 A1 A1 B1", {}, false}, // without instancing
        // B stops batching: the batch before it keeps its instances, and no B draws through them.
        {{"AABBBCCC"}, "A2 B1 B1 B1 C1 C1 C1", {0}, true, kDrawRecordNoInstancing},
        {{"AAA", "B"}, "A3 B1", {0}}, // a queue never draws through the last one's batch
        {{"A", "B"}, "A1", {}, true, kDrawRecordDefaultFlags, true},
    };
    for (const Case& c : cases) {
        run.Renderer()->Frame().SetAllowInstancing(c.instancing);
        quads['B']->Record().flags = c.flagsOfB;
        std::vector<std::unique_ptr<RenderQueue>> queues;
        renderer->queues.clear();
        for (const std::string& word : c.queues) {
            queues.push_back(std::make_unique<RenderQueue>(16));
            Fill(*queues.back(), word);
            renderer->queues.push_back(queues.back().get());
        }
        queues.back()->skip = c.skipSecond;
        GfxCallRecord record;
        renderer->DrawInstanced("diff", 1, 1);
        const auto draws = record.Draws();
        const std::string label = c.queues[0];
        EXPECT_EQ(Summary(draws), c.draws) << label;
        EXPECT_EQ(record.Count("SetStreamSourceFreq") == 0, c.batchStarts.empty()) << label;
        size_t batch = 0;
        for (const auto& draw : draws) {
            if (draw.instanceCount == 1) {
                EXPECT_EQ(draw.streams[0].frequency, 1u) << label << ": a single draw is not instanced";
                continue;
            }
            ASSERT_LT(batch, c.batchStarts.size()) << label;
            const uint32_t start = c.batchStarts[batch++];
            const auto instances = InstancesOf(draw);
            ASSERT_EQ(instances.size(), draw.instanceCount);
            for (uint32_t k = 0; k < instances.size(); ++k) {
                float4x4 expected = worlds[start + k];
                expected(3, 3) = expected(0, 0); // the default flags put (1,1) into (4,4)
                EXPECT_EQ(Floats(instances[k]), Floats(expected)) << label << " instance " << k;
            }
            // A batch is drawn with the renderer's own placement as its world.
            EXPECT_EQ(Uploaded(draw, "MatWorld"), Floats(IdentityMatrix())) << label;
        }
        EXPECT_EQ(batch, c.batchStarts.size()) << label;
        EXPECT_EQ(run.Renderer()->Frame().DrawCalls(), draws.size());
        run.Renderer()->Frame().ResetDrawCalls();
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
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(instances[k](3, 3), c.element44[k]) << int(c.flags) << " instance " << k;
        // Without the renderer-world flag the batch keeps its first entry's world.
        const float4x4 batchWorld = (c.flags & kDrawRecordRendererWorld) ? IdentityMatrix() : worlds[0];
        EXPECT_EQ(Uploaded(draws[0], "MatWorld"), Floats(batchWorld)) << int(c.flags);
    }
}

TEST_F(Drawing, AQueueHeadedByARecordWithItsOwnInstancesIsNeitherResetNorBatched)
{
    gfx::VertexBuffer* own = nullptr;
    ASSERT_TRUE(run.Renderer()->Resources().CreateVertexBuffer(&own, 4, 64, gfx::kUsageDynamic));
    DrawRecord& particle = quads['C']->Record();
    particle.flags = 0x2A;
    particle.instanceCount = 3;
    particle.instanceBuffer = own;
    particle.instanceOffset = 64;
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
    EXPECT_EQ(particle.instanceCount, 3);
    run.Renderer()->Resources().ReleaseVertexBuffer(own);
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
    EXPECT_EQ((std::vector<uint64_t>(made[5].args.begin() + 1, made[5].args.end())),
              (std::vector<uint64_t>{8 * 64, gfx::kUsageDynamic, 0, gfx::kPoolDefault}));
    // Both passes wrote their batch with a discarding lock of buffer 0 and unlocked it.
    const auto locks = record.Calls("VertexBuffer::Lock");
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[1].args[0], gfx::detail::Arg(renderer->instancingBuffers[0]));
    EXPECT_EQ(locks[1].args[3], gfx::kLockDiscard);
    EXPECT_EQ(renderer->instancingBuffers[0]->LockCount(), 0u);
    EXPECT_EQ(renderer->currentEffect, nullptr);
    EXPECT_EQ(renderer->currentVertexBuffer, nullptr);
    EXPECT_FALSE(material->GetEffect()->CurrentEffect()->IsBegun());
    uint32_t frequency = 0;
    run.Device()->GetStreamSourceFreq(0, &frequency);
    EXPECT_EQ(frequency, 1u); // instancing off
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

TEST_F(Drawing, DisabledRecordsAndEffectsThatCannotDrawBindButDrawNothing)
{
    TestMaterial empty(run.Device(), "this is not an effect");
    EXPECT_FALSE(empty.made);
    QuadNode broken(empty);
    TestMaterial noDepth(run.Device(), "float4 tint;\ntechnique diff { pass p0 { } }\n", "nodepth.fx");
    QuadNode diffOnly(noDepth);
    quads['B']->Record().enabled = 0;
    run.ClearOut();
    RenderQueue queue(16);
    for (DrawRecord* record : {&broken.Record(), &quads['A']->Record(), &diffOnly.Record(), &quads['B']->Record()})
        queue.Append(record, &worlds[0]);
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("depth", 1, 1);
    renderer->DrawInstanced("depth", 1, 1);
    EXPECT_EQ(Summary(record.Draws()), "A1 A1");
    EXPECT_EQ(run.Out(), "Effect nodepth.fx has no technique depth\n"); // said once
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(record.Draws().size(), 4u);
    // Each of the four bound its buffers, the disabled one too.
    const auto streams = record.Calls("SetStreamSource");
    ASSERT_EQ(streams.size(), 12u);
    EXPECT_EQ(streams[3].args[1], gfx::detail::Arg(quads['B']->Record().vertexBuffer));
}

TEST_F(Drawing, LightsReachTheEffectExceptInTheDepthPass)
{
    LightNode sun(kLightDirectional), sky(kLightAmbient), haze(kLightFog), odd(7), dusk(kLightDirectional);
    sun.colour = {1.0f, 0.5f, 0.25f, 1.0f};
    dusk.colour = {0.5f, 0.0f, 0.0f, 1.0f};
    dusk.SetRotation(QuatFromAxisAngle({0.0f, 1.0f, 0.0f}, 1.5707964f));
    sky.colour = {0.1f, 0.2f, 0.3f, 1.0f};
    haze.colour = {0.7f, 0.7f, 0.8f, 1.0f};
    odd.colour = {9.0f, 9.0f, 9.0f, 9.0f};
    std::vector<LightRecord*> lights{&sun.FillLightRecord(), &sky.FillLightRecord(), &haze.FillLightRecord(),
                                     &odd.FillLightRecord(), &dusk.FillLightRecord()};
    renderer->fogMult = 2.5f;
    renderer->exposure = 0.5f;
    const std::vector<float> none{0, 0, 0, 0};
    struct Case {
        std::string pass;
        uint8_t hdr;
        std::vector<float> colour, direction, ambient, fog, fogMult, exposure;
    };
    // A later record of a type overwrites an earlier one; other types are ignored.
    const Case cases[] = {
        {"diff", 0, {0.5f, 0, 0, 1}, {1, 0, 0, 0}, {0.1f, 0.2f, 0.3f, 1}, {0.7f, 0.7f, 0.8f, 1}, {2.5f}, {0}},
        {"diff", 1, {0.5f, 0, 0, 1}, {1, 0, 0, 0}, {0.1f, 0.2f, 0.3f, 1}, {0.7f, 0.7f, 0.8f, 1}, {2.5f}, {0.5f}},
        {"depth", 1, none, none, none, none, {0}, {0}},
    };
    for (const Case& c : cases) {
        TestMaterial fresh(run.Device());
        QuadNode quad(fresh);
        RenderQueue own(16);
        own.Append(&quad.Record(), &worlds[0]);
        own.lightList = &lights;
        renderer->queues = {&own};
        renderer->hdrEnabled = c.hdr;
        GfxCallRecord record;
        renderer->DrawInstanced(c.pass, 1, 1);
        const auto draws = record.Draws();
        ASSERT_EQ(draws.size(), 1u) << c.pass;
        auto near = [](std::vector<float> v) {
            for (float& f : v)
                f = std::round(f * 1e5f) / 1e5f;
            return v;
        };
        EXPECT_EQ(Uploaded(draws[0], "LightColor"), c.colour) << c.pass;
        EXPECT_EQ(near(Uploaded(draws[0], "LightDir")), c.direction) << c.pass;
        EXPECT_EQ(Uploaded(draws[0], "AmbientColor"), c.ambient) << c.pass;
        EXPECT_EQ(Uploaded(draws[0], "FogColor"), c.fog) << c.pass;
        EXPECT_EQ(Uploaded(draws[0], "fogMult"), c.fogMult) << c.pass;
        EXPECT_EQ(Uploaded(draws[0], "exposure"), c.exposure) << c.pass;
    }
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
        run.Renderer()->Frame().ResetDrawCalls();
        GfxFailureInjection failures;
        failures.Fail(c.call, gfx::kInvalidCall);
        run.ClearOut();
        renderer->DrawInstanced("diff", writes, writes);
        EXPECT_EQ(run.Out().rfind(c.out, 0), 0u) << c.call << ": " << run.Out();
        EXPECT_EQ(run.Renderer()->Frame().DrawCalls(), c.drawCalls) << c.call;
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
    gfx::GpuQuery* query = nullptr;
    ASSERT_EQ(run.Device()->CreateQuery(gfx::kQueryOcclusion, &query), gfx::kOk);
    RenderTargetRecord other;
    struct Case {
        RenderTargetRecord* target;
        size_t issues;
    };
    const Case cases[] = {{nullptr, 2}, {&run.Renderer()->Targets().BackBufferTarget(), 2}, {&other, 0}};
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
