// The scene renderer itself: what construction sets up, the cursor over the
// instancing pool, instancing switched on and off on the render device, the
// per-object constants of a draw, the frame bracket with its HDR adaptation,
// and an effect's define change reaching the next draw.
#include "render/frame/scene_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kernel/platform.h"
#include "kernel/rs_hash.h"
#include "kernel/time.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/device/render_device.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "testing/message_box_script.h"
#include "tests/render/draw_test_support.h"
#include "tests/render/effect_test_support.h"

using draw_test::DrawRig;
using draw_test::Floats;
using draw_test::QuadNode;
using draw_test::TestMaterial;
using draw_test::Uploaded;
using platform::testing::GfxCallRecord;
using platform::testing::GfxFailureInjection;

namespace {
class SceneRendering : public DrawRig {};
} // namespace

TEST_F(SceneRendering, ConstructionSetsUpTheRendererAndMakesItCurrent)
{
    SceneRenderer& r = *renderer;
    EXPECT_EQ(currentSceneRenderer, &r);
    EXPECT_EQ(frameRendererHdr, &r.hdrEnabled);
    ASSERT_EQ(r.instanceMatrices.count, 8u); // instancingBufferSize
    EXPECT_EQ(reinterpret_cast<uintptr_t>(r.instanceMatrices.matrices) % 16, 0u);
    EXPECT_EQ(Floats(r.instanceMatrices.matrices[7]), Floats(IdentityMatrix()));
    EXPECT_EQ(Floats(r.transform.GetLocalMatrix()), Floats(IdentityMatrix()));
    EXPECT_EQ(r.instancingBuffers[0], nullptr); // made by the first draw
    EXPECT_EQ(r.depthId, RSHash("depth"));
    EXPECT_GE(r.lights.capacity(), 8u);
    EXPECT_EQ(r.fogMult, 5.275f);
    EXPECT_EQ(r.adaptedLuminance * r.exposure, 1.0f);
    EXPECT_EQ(r.adaptationIncrements, 1.0f); // HDRadaptationIncrements
    EXPECT_EQ(r.instancingDecl.GetStreamStride(1), 64u);
    {
        SceneRenderer later;
        EXPECT_EQ(currentSceneRenderer, &later);
    }
    // The last one gone, none is current until another is made.
    EXPECT_EQ(currentSceneRenderer, nullptr);
    EXPECT_EQ(frameRendererHdr, nullptr);
}

TEST_F(SceneRendering, RemovingAQueueTakesOnlyItsFirstPlace)
{
    SceneRenderer& r = *renderer;
    RenderQueue a(1), b(1);
    r.queues = {&a, &b, &a};
    r.RemoveInstanceArray(&a);
    EXPECT_EQ(r.queues, (std::vector<RenderQueue*>{&b, &a}));
    RenderQueue absent(1);
    r.RemoveInstanceArray(&absent);
    EXPECT_EQ(r.queues, (std::vector<RenderQueue*>{&b, &a}));
    r.queues.clear();
}

TEST(RenderQueueOverflow, EachOverflowShowsOneBoxEvenWithNoCapacity)
{
    Platform routesStandardError;
    platform::testing::ScriptedMessageBoxes boxes;
    for (const std::string note : {"", "A note."}) {
        boxes.Clear();
        RenderQueue queue(0, note);
        queue.Append(nullptr, nullptr);
        queue.Append(nullptr, nullptr);
        EXPECT_EQ(queue.Count(), 1u);
        ASSERT_EQ(boxes.Shown().size(), 2u) << note;
        const std::string noteLine = note.empty() ? "" : note + "\n";
        EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("staticHeapVector overflow.\n" + noteLine));
    }
}

TEST_F(SceneRendering, ReservationsFillABufferAndMoveOnWhenTheRestDoesNotStrictlyFit)
{
    renderer->DrawInstanced("diff", 1, 1); // makes the pool: six buffers of 512 bytes
    SceneRenderer& r = *renderer;
    struct Step {
        uint32_t bytes;
        int buffer; // -1: refused
        uint32_t offset;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"two in a row share a buffer", {{128, 0, 0}, {64, 0, 128}}},
        {"the exact rest does not fit", {{448, 0, 0}, {64, 1, 0}, {64, 1, 64}}},
        {"a whole buffer at once goes to the next", {{512, 1, 0}, {64, 2, 0}}},
        {"larger than a buffer is refused", {{513, -1, 0}, {64, 0, 0}}},
        {"six buffers and no seventh",
         {{448, 0, 0}, {448, 1, 0}, {448, 2, 0}, {448, 3, 0}, {448, 4, 0}, {448, 5, 0}, {448, -1, 0}}},
    };
    for (const Case& c : cases) {
        run.ClearBoxes();
        GfxCallRecord record;
        for (const Step& step : c.steps) {
            InstancingReservation reservation;
            const bool made = r.NextInstancingBuffer(step.bytes, reservation);
            ASSERT_EQ(made, step.buffer >= 0) << c.name << " " << step.bytes;
            if (!made)
                continue;
            EXPECT_EQ(reservation.buffer, r.instancingBuffers[step.buffer]) << c.name;
            EXPECT_EQ(reservation.offset, step.offset) << c.name;
            EXPECT_EQ(reservation.data, r.instancingData + step.offset) << c.name;
        }
        // Every lock discards; at most the current buffer stays locked.
        for (const auto& lock : record.Calls("VertexBuffer::Lock"))
            EXPECT_EQ(lock.args[3], gfx::kLockDiscard) << c.name;
        EXPECT_LE(record.Count("VertexBuffer::Lock") - record.Count("VertexBuffer::Unlock"), 1u) << c.name;
        const bool exhausted = c.steps.size() == 7;
        ASSERT_EQ(run.Boxes().size(), exhausted ? 1u : 0u) << c.name;
        if (exhausted) {
            EXPECT_EQ(run.Boxes()[0].text.rfind("Out of instancing buffers.\n", 0), 0u);
        }
        // Rewound, the next reservation locks buffer 0 with a discard again.
        r.RewindInstancingBuffers();
        for (gfx::VertexBuffer* buffer : r.instancingBuffers)
            EXPECT_EQ(buffer->LockCount(), 0u) << c.name;
        record.Clear();
        InstancingReservation again;
        ASSERT_TRUE(r.NextInstancingBuffer(64, again));
        EXPECT_EQ(again.buffer, r.instancingBuffers[0]);
        EXPECT_EQ(again.offset, 0u);
        const auto locks = record.Calls("VertexBuffer::Lock");
        ASSERT_EQ(locks.size(), 1u);
        EXPECT_EQ(locks[0].args[0], gfx::detail::Arg(r.instancingBuffers[0]));
        r.RewindInstancingBuffers();
    }
}

TEST_F(SceneRendering, APoolThatCannotBeMadeLeavesEveryDrawSingle)
{
    {
        GfxFailureInjection failures;
        failures.Fail("CreateVertexBuffer", gfx::kOutOfVideoMemory, 1, 3);
        renderer->DrawInstanced("diff", 1, 1);
    }
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("Error creating vertex buffer.\n", 0), 0u);
    for (gfx::VertexBuffer* buffer : renderer->instancingBuffers)
        EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(renderer->instancingReady, 1); // not tried again every pass
    TestMaterial material(run.Device());
    QuadNode a(material);
    float4x4 world = IdentityMatrix();
    RenderQueue queue(8);
    for (int i = 0; i < 4; ++i)
        queue.Append(&a.Record(), &world);
    renderer->queues = {&queue};
    GfxCallRecord record;
    renderer->DrawInstanced("diff", 1, 1);
    EXPECT_EQ(record.Draws().size(), 4u);
    EXPECT_EQ(record.Count("CreateVertexBuffer"), 0u);
}

TEST_F(SceneRendering, InstancingSetsFrequenciesOnlyWhenTheyChange)
{
    RenderDevice* device = run.Renderer();
    gfx::VertexBuffer* buffer = nullptr;
    ASSERT_TRUE(device->Resources().CreateVertexBuffer(&buffer, 8, 64, gfx::kUsageDynamic));
    GfxCallRecord record;
    EXPECT_EQ(device->Frame().SetInstancing(3, buffer, 64, 128), gfx::kOk);
    EXPECT_EQ(device->Frame().SetInstancing(3, buffer, 64, 192), gfx::kOk);
    device->Frame().SetInstancing(5, buffer, 64, 0);
    device->Frame().SetInstancingOff();
    device->Frame().SetInstancingOff();
    std::vector<std::vector<uint64_t>> frequencies;
    for (const auto& call : record.Calls("SetStreamSourceFreq"))
        frequencies.push_back(call.args);
    // The second call with the same count sets no frequency; off once.
    EXPECT_EQ(frequencies, (std::vector<std::vector<uint64_t>>{
                               {0, 0x40000003u}, {1, 0x80000001u}, {0, 0x40000005u}, {0, 1}, {1, 1}}));
    const auto streams = record.Calls("SetStreamSource");
    ASSERT_EQ(streams.size(), 3u); // stream 1 bound every time
    EXPECT_EQ(streams[1].args, (std::vector<uint64_t>{1, gfx::detail::Arg(buffer), 192, 64}));
    EXPECT_EQ(device->Frame().Instancing().instanceStream, nullptr);

    // A null buffer is reported, bound all the same, and still switched off.
    device->Frame().SetInstancing(2, nullptr, 64, 0);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("SetInstancing: NULL buffer!\n", 0), 0u);
    record.Clear();
    device->Frame().SetInstancingOff();
    EXPECT_EQ(record.Count("SetStreamSourceFreq"), 2u);
    EXPECT_EQ(device->Frame().Instancing().stream0Frequency, 1u);
    device->Resources().ReleaseVertexBuffer(buffer);
}

TEST_F(SceneRendering, ObjectParametersCommonGroupThenThePassGroupWithPosCam)
{
    TestMaterial material(run.Device());
    Effect* effect = material.GetEffect();
    const float4 common{1, 1, 1, 1}, pass{2, 2, 2, 2};
    effect->SetVector("tint", &common);
    QuadNode quad(material);
    const float4x4 world = draw_test::Translation(3, 4, 5);
    gfx::RuntimeEffect& compiled = *effect->CurrentEffect();

    struct Case {
        const char* pass;
        bool passGroup;
        std::vector<float> tint;
    };
    const Case cases[] = {{"diff", false, {1, 1, 1, 1}}, {"depth", true, {2, 2, 2, 2}}};
    for (const Case& c : cases) {
        if (c.passGroup)
            effect->SetVector("tint", &pass, c.pass);
        renderer->ApplyObjectParameters(&quad.Record(), &world, c.pass);
        float value[4];
        compiled.GetVector("tint", value);
        EXPECT_EQ(std::vector<float>(value, value + 4), c.tint) << c.pass;
        // A pass without a group of its own now has an empty one.
        EXPECT_EQ(effect->params.groups.count(c.pass), 1u);
        compiled.GetVector("PosCam", value);
        EXPECT_EQ(std::vector<float>(value, value + 4), (std::vector<float>{0, 0, -10, 1}));
        float matrix[16];
        compiled.GetMatrix("MatWorld", matrix);
        EXPECT_EQ(std::vector<float>(matrix, matrix + 16), Floats(world));
        compiled.GetMatrix("MatWorldViewProj", matrix);
        EXPECT_EQ(std::vector<float>(matrix, matrix + 16), Floats(world * *run.Renderer()->Frame().Camera().viewProj));
    }
    // With an identity world the product is the camera's view-projection.
    const float4x4 identity = IdentityMatrix();
    renderer->ApplyObjectParameters(&quad.Record(), &identity, "diff");
    float matrix[16];
    compiled.GetMatrix("MatWorldViewProj", matrix);
    EXPECT_EQ(std::vector<float>(matrix, matrix + 16), Floats(*run.Renderer()->Frame().Camera().viewProj));
}

namespace {
// A settable platform clock, for the global clock's frame step.
class SteppedClock : public Platform {
public:
    SteppedClock() { SetPlatform(this); }
    ~SteppedClock() override { SetPlatform(nullptr); }
    double GetSeconds() override { return now; }
    double now = 100.0;
};
} // namespace

TEST_F(SceneRendering, HdrAdaptationMovesByTheShareOfOneFrame)
{
    SteppedClock clock;
    RootTime time;
    struct Case {
        float measured, adapted, increments;
        double delta;
        float expectAdapted, expectExposure;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {0.25f, 1.0f, 1.0f, 0.125, 0.90625f, 1.0f},     // n = 8; 1 / 0.90625 is above 1
        {4.0f, 2.0f, 1.0f, 0.5, 3.0f, 0.33333334f},     // n = 2
        {4.0f, 2.0f, 0.0f, 0.5, 4.0f, 0.25f},           // n = 0: at once
        {4.0f, 2.0f, 0.4f, 0.5, 4.0f, 0.25f},           // n = 0 (increments below the step)
        {4.0f, 2.0f, 0.5f, 0.5, 4.0f, 0.25f},           // n = 1
        {4.0f, 2.0f, 1.0f, 0.0, 4.0f, 0.25f},           // a step of 0: at once
        {2.0f, nan, 1.0f, 0.5, 1.5f, 0.6666667f},       // NaN counts as 1.0
        {-2.0f, 1.0f, 0.0f, 0.5, -2.0f, -0.5f},         // not clamped from below
        {0.0f, 1.0f, 0.0f, 0.5, 0.0f, 1.0f},            // 1/0 is above 1
        {4.0f, 2.0f, 3e9f, 0.5, 2.0f, 0.5f},            // a count beyond 32 bits stays finite
    };
    for (const Case& c : cases) {
        clock.now += 1.0;
        time.UpdateTime(false);
        clock.now += c.delta;
        time.UpdateTime(false);
        ASSERT_DOUBLE_EQ(GetGlobalDelta(), c.delta);
        float measured = c.measured;
        renderer->hdrEnabled = 1;
        renderer->averageLighting = &measured;
        renderer->adaptedLuminance = c.adapted;
        renderer->adaptationIncrements = c.increments;
        renderer->BeginFrame();
        renderer->EndFrame();
        EXPECT_FLOAT_EQ(renderer->adaptedLuminance, c.expectAdapted) << c.measured << " " << c.increments;
        EXPECT_FLOAT_EQ(renderer->exposure, c.expectExposure) << c.measured << " " << c.increments;
    }
}

TEST_F(SceneRendering, HdrOffNeverReadsTheLuminanceAndAMissingOneIsReported)
{
    run.Device()->EndScene();
    renderer->BeginFrame(); // HDR off: nothing read, nothing changed
    renderer->EndFrame();
    EXPECT_EQ(renderer->adaptedLuminance, 1.0f);
    EXPECT_EQ(renderer->exposure, 1.0f);
    EXPECT_TRUE(run.Boxes().empty());

    renderer->hdrEnabled = 1;
    renderer->exposure = 0.75f;
    renderer->BeginFrame();
    renderer->EndFrame();
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("HDR is on, but there is no average lighting data!\n", 0), 0u);
    EXPECT_EQ(renderer->exposure, 0.75f); // that frame keeps its exposure
    renderer->BeginFrame();
    renderer->EndFrame();
    EXPECT_EQ(run.Boxes().size(), 2u); // every frame while it lasts
    run.Device()->BeginScene();
}

TEST_F(SceneRendering, TheFrameBracketReportsFailuresAndALostDeviceSilently)
{
    run.Device()->EndScene();
    struct Case {
        const char* call;
        gfx::Result result;
        std::string out;
        gfx::Result last; // lastResult afterwards: that of Present
    };
    const Case cases[] = {
        {"", gfx::kOk, "", gfx::kOk},
        // No scene was begun, so ending it fails as well.
        {"BeginScene", gfx::kInvalidCall, "Failed to begin scene.\nFailed to end scene.\n", gfx::kOk},
        // The scene stays open, which the device does not present.
        {"EndScene", gfx::kInvalidCall, "Failed to end scene.\nFailed to present.\n", gfx::kInvalidCall},
        {"Present", gfx::kInvalidCall, "Failed to present.\n", gfx::kInvalidCall},
        {"Present", gfx::kDeviceLost, "", gfx::kDeviceLost},
    };
    for (const Case& c : cases) {
        const std::string call = c.call;
        run.Renderer()->Frame().CountDrawCall();
        GfxFailureInjection failures;
        if (!call.empty())
            failures.Fail(call, c.result);
        run.ClearOut();
        GfxCallRecord record;
        renderer->BeginFrame();
        EXPECT_EQ(run.Renderer()->Frame().DrawCalls(), 0u);
        renderer->EndFrame();
        EXPECT_EQ(run.Out(), c.out) << call;
        EXPECT_EQ(record.Names(), (std::vector<std::string>{"BeginScene", "EndScene", "Present"}));
        EXPECT_EQ(run.Renderer()->LastResult(), c.last) << call;
        if (call == "EndScene")
            run.Device()->EndScene(); // the scene the injected failure left open
    }
    // The device stays lost and is never reset: later frames go on calling,
    // and a lost present stays silent.
    run.ClearOut();
    GfxCallRecord record;
    renderer->BeginFrame();
    renderer->EndFrame();
    EXPECT_EQ(record.Count("Present"), 1u);
    EXPECT_EQ(record.Count("Reset"), 0u);
    EXPECT_EQ(run.Renderer()->LastResult(), gfx::kDeviceLost);
    EXPECT_EQ(run.Out(), "");
    EXPECT_TRUE(run.Boxes().empty());
    run.Device()->BeginScene();
}

TEST(SceneRenderingVariants, ADefineChangedAfterLoadingReachesTheNextDraw)
{
    effect_test::EffectFolder folder;
    platform::testing::ScriptedMessageBoxes boxes;
    CameraNode camera;
    camera.ApplyCamera();
    SceneRenderer renderer;
    MaterialResource material;
    MakeUniqueMaterial(material);
    Effect* effect = material.GetEffect();
    {
        effect_test::Output quiet;
        ASSERT_TRUE(effect->LoadByName("particle.fx"));
    }
    ASSERT_NE(effect->CurrentEffect(), nullptr);
    MeshNode node;
    {
        effect_test::Output quiet;
        CreateQuadOfSize(node.mesh, 1, 1, 1, 0);
    }
    node.mesh.SetMeshMaterial(material);
    SceneNodeRenderer gatherer;
    RenderLayer layer;
    layer.nodes.push_back(&node);
    gatherer.layers.push_back(&layer);
    gatherer.UpdateScene();
    renderer.queues = {&gatherer.instanceList};
    ASSERT_EQ(folder.device.device->BeginScene(), gfx::kOk);

    GfxCallRecord record;
    {
        effect_test::Output quiet;
        renderer.DrawInstanced("diff", 1, 1);
    }
    const gfx::RuntimeEffect* before = effect->CurrentEffect();
    effect->SetDefine("FOGAFFECTSALPHA", true);
    {
        effect_test::Output out;
        renderer.DrawInstanced("diff", 1, 1);
        EXPECT_TRUE(effect_test::Contains(
            out.Text(), "Changed shader variant on FOGAFFECTSALPHA, but there is no such shader loaded - getting...\n"))
            << out.Text();
    }
    ASSERT_NE(effect->CurrentEffect(), nullptr);
    EXPECT_NE(effect->CurrentEffect(), before);
    EXPECT_EQ(effect->CurrentEffect()->Defines(), std::vector<std::string>{"FOGAFFECTSALPHA"});
    EXPECT_EQ(effect->GetPayload()->currentVariant, effect->wantedVariant);
    const auto draws = record.Draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[1].effect.technique, "diff");
    EXPECT_FALSE(before->IsBegun()); // the old variant was ended before the switch

    // Switched back: the loaded base effect is taken again, without compiling.
    effect->SetDefine("FOGAFFECTSALPHA", false);
    {
        effect_test::Output out;
        renderer.DrawInstanced("diff", 1, 1);
        EXPECT_EQ(out.Text(), "");
    }
    EXPECT_EQ(effect->CurrentEffect(), before);
    EXPECT_EQ(record.Draws().size(), 3u);
    folder.device.device->EndScene();
    EXPECT_TRUE(boxes.Shown().empty());
}
