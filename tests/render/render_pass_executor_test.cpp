// Running the pass list, the parts that need the scene renderer: deferred
// template resets, camera travel, lists carried into the next pass, copies
// before the clear, mip regeneration, several targets at once, shadow slices,
// and a pass that is not due.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/frame/render_pass.h"
#include "render/frame/render_pass_list.h"
#include "render/textures/texture_resource.h"
#include "testing/gfx_call_record.h"
#include "tests/render/draw_test_support.h"

using draw_test::DrawRig;
using draw_test::QuadNode;
using draw_test::TestMaterial;
using platform::testing::GfxCall;
using platform::testing::GfxCallRecord;

namespace {

// Appends `instances` entries of one record per gathering, and notes what a
// watched template's queue holds when it gathers.
class AppendingTemplate : public RendererTemplate {
public:
    AppendingTemplate(DrawRecord* record, uint32_t instances) : record_(record), instances_(instances) {}
    void Render() override
    {
        if (watched)
            seen.push_back(watched->instanceList.Count());
        BeginGathering(currentSceneRenderer ? &currentSceneRenderer->lights : nullptr);
        for (uint32_t i = 0; i < instances_; ++i)
            AppendInstance(record_, &world_);
    }

    RendererTemplate* watched = nullptr;
    std::vector<uint32_t> seen;

private:
    DrawRecord* record_;
    uint32_t instances_;
    float4x4 world_ = IdentityMatrix();
};

// A shadow pass that can draw its slices; notes each slice it sets up.
class SlicePass : public RenderPass {
public:
    SlicePass() { mode = kPassShadow; }
    void RenderShadow(uint8_t index) override { slices.push_back(index); }
    bool DrawsShadowSlices() override { return drawSlices; }

    std::vector<uint8_t> slices;
    bool drawSlices = true;
};

uint32_t fakeNow = 0;
uint32_t FakeClock()
{
    return fakeNow;
}

class Executor : public DrawRig {
protected:
    void SetUp() override
    {
        DrawRig::SetUp();
        material = std::make_unique<TestMaterial>(run.Device());
        quad = std::make_unique<QuadNode>(*material);
        renderer->DrawInstanced("diff", 1, 1); // the pool, made before anything is recorded
        run.ClearOut();
    }
    void TearDown() override
    {
        SetPassClock(nullptr);
        quad.reset();
        material.reset();
        DrawRig::TearDown();
    }
    DrawRecord* Record() { return &quad->Record(); }

    std::unique_ptr<TestMaterial> material;
    std::unique_ptr<QuadNode> quad;
    RenderPassList list;
};

std::vector<GfxCall> Only(const std::vector<GfxCall>& calls, const std::vector<std::string>& names)
{
    std::vector<GfxCall> out;
    for (const auto& call : calls)
        for (const auto& name : names)
            if (call.name == name)
                out.push_back(call);
    return out;
}

} // namespace

TEST_F(Executor, AnEmptyListRunsNothingButCountsTheFrame)
{
    LightRecord light;
    renderer->lights.push_back(&light);
    GfxCallRecord record;
    list.RenderPasses();
    EXPECT_EQ(list.frameCounter, 1u);
    EXPECT_EQ(renderer->lights.size(), 1u); // no frame-list reset without a gathering
    EXPECT_TRUE(record.Calls().empty());
}

TEST_F(Executor, ADeferredResetWaitsForTheTemplatesNextGathering)
{
    AppendingTemplate deferred(Record(), 2), plain(Record(), 1);
    deferred.deferReset = 1;
    renderer->queues = {&deferred.instanceList, &plain.instanceList};
    RenderPass pass;
    pass.name = "diff";
    pass.target = &run.Renderer()->Targets().BackBufferTarget();
    pass.AddRendererTemplate(&deferred);
    pass.AddRendererTemplate(&plain);
    list.passes = {&pass};
    list.RenderPasses();
    EXPECT_EQ(deferred.resetPending, 1);
    EXPECT_EQ(deferred.instanceList.Count(), 2u); // still gathered after its pass
    EXPECT_EQ(plain.resetPending, 0);
    EXPECT_EQ(plain.instanceList.Count(), 0u);
    EXPECT_EQ(plain.instanceList.lightList, &renderer->lights);

    // The next gathering starts afresh, even for a template that keeps its lists.
    deferred.keep = 1;
    list.RenderPasses();
    EXPECT_EQ(deferred.instanceList.Count(), 2u);
    EXPECT_EQ(deferred.gatheredCount, 2u);
}

TEST_F(Executor, CameraTravelRunsAPassOnlyAfterMoreThanItsDistance)
{
    SetPassClock(FakeClock);
    AppendingTemplate gather(Record(), 1);
    renderer->queues = {&gather.instanceList};
    RenderPass pass;
    pass.target = &run.Renderer()->Targets().BackBufferTarget();
    pass.name = "diff";
    pass.minCameraMove = 10;
    pass.printCount = 1;
    pass.AddRendererTemplate(&gather);
    list.passes = {&pass};
    struct Step {
        float x;         // the active camera's position along x
        uint32_t now;    // clock ticks
        uint32_t period;
        const char* printed;
        float stored;    // lastCameraPos.x afterwards
    };
    const Step steps[] = {
        {0.0f, 1, 0, "0\n", 0.0f},      // not moved
        {10.0f, 2, 0, "0\n", 0.0f},     // exactly 10 does not count
        {10.5f, 3, 0, "1\n", 10.5f},    // beyond 10: runs and takes the position
        {15.0f, 4, 0, "0\n", 10.5f},
        {21.0f, 5, 100, "1\n", 21.0f},  // due by time (deadline 0) and by travel
        {40.0f, 6, 100, "0\n", 40.0f},  // travelled while the period is not over: stored, not run
        {40.0f, 200, 100, "0\n", 40.0f}, // the period over, but no travel since the stored move
    };
    for (const Step& step : steps) {
        camera.SetPosition({step.x, 0.0f, 0.0f, 1.0f});
        camera.ApplyCamera();
        fakeNow = step.now;
        pass.period = step.period;
        run.ClearOut();
        list.RenderPasses();
        EXPECT_EQ(run.Out(), step.printed) << step.x << " at " << step.now;
        EXPECT_EQ(pass.lastCameraPos.x, step.stored) << step.x << " at " << step.now;
    }
}

TEST_F(Executor, ACarriedListSurvivesItsPassAndTheNextPassEmptiesItBeforeDrawing)
{
    AppendingTemplate carried(Record(), 3), probe(Record(), 1);
    probe.watched = &carried;
    renderer->queues = {&carried.instanceList, &probe.instanceList};
    RenderPass first, second;
    first.target = second.target = &run.Renderer()->Targets().BackBufferTarget();
    first.name = second.name = "diff";
    first.AddRendererTemplate(&carried);
    second.AddRendererTemplate(&probe);
    list.passes = {&first, &second};

    struct Case {
        uint8_t flag;
        uint32_t seen;  // the carried queue when the second pass gathers
        size_t draws;   // draw calls of the frame
    };
    const Case cases[] = {{1, 3, 2}, {0, 0, 2}};
    for (const Case& c : cases) {
        second.carriedLists.clear();
        second.carriedLists[&carried.instanceList] = c.flag;
        probe.seen.clear();
        GfxCallRecord record;
        list.RenderPasses();
        ASSERT_EQ(probe.seen.size(), 1u);
        EXPECT_EQ(probe.seen[0], c.seen) << int(c.flag);
        EXPECT_EQ(carried.instanceList.Count(), 0u) << int(c.flag);
        // The first pass draws the three as one batch; the second only its probe.
        EXPECT_EQ(record.Draws().size(), c.draws) << int(c.flag);
    }
}

TEST_F(Executor, CopiesAndMipsFollowTheirPlaceInThePass)
{
    TextureResource drawn, before, after, mips;
    for (TextureResource* texture : {&drawn, &before, &after})
        texture->InitRenderTexture(64, 32, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget, gfx::kPoolDefault, 1);
    mips.InitRenderTexture(64, 64, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget | gfx::kUsageAutoGenMipMap,
                           gfx::kPoolDefault, 0);
    RenderTargetRecord& into = before.GetPayload()->target;
    into.viewport = {4, 2, 16, 8, 0.0f, 1.0f};

    RenderPass pass;
    pass.target = &drawn.GetPayload()->target;
    pass.copyBeforeClear = &into;
    pass.stateOverrides[kRsZFunc] = 8; // a state that reaches the device both ways
    list.passes = {&pass};
    {
        // A copy before the clear alone does not open the drawing stage.
        GfxCallRecord record;
        list.RenderPasses();
        EXPECT_EQ(record.Count("StretchRect"), 0u);
        EXPECT_EQ(record.Count("Clear"), 0u);
    }
    pass.alwaysDraw = 1;
    pass.copyAfterDraw = &after.GetPayload()->target;
    pass.mipTarget = &mips;
    GfxCallRecord record;
    list.RenderPasses();
    const auto steps = Only(record.Calls(), {"StretchRect", "Clear", "SetRenderState", "GenerateMipSubLevels"});
    std::vector<std::string> names;
    for (const auto& call : steps)
        if (names.empty() || names.back() != call.name)
            names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"SetRenderState", "StretchRect", "Clear", "StretchRect",
                                               "GenerateMipSubLevels", "SetRenderState"}));
    const auto copies = record.Calls("StretchRect");
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].args[0], gfx::detail::Arg(drawn.GetPayload()->target.colour));
    EXPECT_EQ(copies[0].args[1], gfx::detail::Arg(into.colour));
    EXPECT_EQ((std::vector<uint64_t>(copies[0].args.begin() + 2, copies[0].args.begin() + 6)),
              (std::vector<uint64_t>{4, 2, 20, 10}));
    EXPECT_EQ(copies[0].args[6], 0u); // no filtering
    EXPECT_EQ(copies[1].args[1], gfx::detail::Arg(after.GetPayload()->target.colour));
    const auto generated = record.Calls("GenerateMipSubLevels");
    ASSERT_EQ(generated.size(), 1u);
    EXPECT_EQ(generated[0].args[0], gfx::detail::Arg(mips.GetPayload()->texture));
}

TEST_F(Executor, SeveralTargetsAreBoundInOrderAndUnboundAfterDrawing)
{
    TextureResource zero, one, ignored;
    for (TextureResource* texture : {&zero, &one, &ignored})
        texture->InitRenderTexture(64, 32, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget, gfx::kPoolDefault, 1);
    RenderTargetRecord& first = zero.GetPayload()->target;
    RenderTargetRecord& second = one.GetPayload()->target;
    first.viewport = {0, 0, 64, 32, 0.0f, 1.0f};
    second.viewport = {0, 0, 32, 16, 0.0f, 1.0f};

    AppendingTemplate gather(Record(), 1);
    renderer->queues = {&gather.instanceList};
    RenderPass pass;
    pass.target = &ignored.GetPayload()->target; // not consulted for binding
    pass.name = "diff";
    pass.targets[1] = &second;
    pass.targets[0] = &first;
    pass.AddRendererTemplate(&gather);
    list.passes = {&pass};
    GfxCallRecord record;
    list.RenderPasses();
    const auto binds = Only(record.Calls(), {"SetRenderTarget", "SetDepthStencilSurface", "SetViewport"});
    ASSERT_EQ(binds.size(), 8u);
    EXPECT_EQ(binds[0].name, "SetRenderTarget");
    EXPECT_EQ(binds[0].args, (std::vector<uint64_t>{0, gfx::detail::Arg(first.colour)}));
    EXPECT_EQ(binds[1].name, "SetDepthStencilSurface");
    EXPECT_EQ(binds[2].name, "SetViewport");
    EXPECT_EQ(binds[2].args, (std::vector<uint64_t>{0, 0, 64, 32}));
    EXPECT_EQ(binds[3].args, (std::vector<uint64_t>{1, gfx::detail::Arg(second.colour)}));
    EXPECT_EQ(binds[5].args, (std::vector<uint64_t>{0, 0, 32, 16}));
    EXPECT_EQ(binds[6].args, (std::vector<uint64_t>{0, 0}));
    EXPECT_EQ(binds[7].args, (std::vector<uint64_t>{1, 0}));
    const auto draws = record.Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].renderTargets[0], first.colour);
    EXPECT_EQ(draws[0].renderTargets[1], second.colour);
    EXPECT_EQ(run.Renderer()->Targets().CurrentTarget(), nullptr);
}

TEST_F(Executor, AShadowPassDrawsEachSliceWithTheDepthTechnique)
{
    AppendingTemplate gather(Record(), 3);
    gather.shadowSlice = 9;
    renderer->queues = {&gather.instanceList};
    CameraNode lightCamera;
    SlicePass pass;
    pass.target = &run.Renderer()->Targets().BackBufferTarget();
    pass.camera = &lightCamera;
    pass.shadowSlice = 4;
    pass.shadowSlices = 3;
    pass.depthWrite = 0;
    pass.AddRendererTemplate(&gather);
    list.passes = {&pass};

    struct Case {
        uint8_t keep, depthOnly, stencil;
        std::vector<std::pair<uint32_t, uint32_t>> clears; // flags, colour, per slice
    };
    const uint32_t T = gfx::kClearTarget, Z = gfx::kClearZBuffer, S = gfx::kClearStencil;
    const Case cases[] = {
        {0, 0, 0, {{T | Z, 0xFFFFFFFFu}}},
        {0, 0, 1, {{T | Z | S, 0xFFFFFFFFu}}},
        {0, 1, 1, {{Z, 0x44444444u}, {S, 0x44444444u}}},
        {1, 1, 1, {{S, 0x44444444u}}},
        {1, 0, 0, {}},
    };
    for (const Case& c : cases) {
        pass.keepContents = c.keep;
        pass.clearDepthOnly = c.depthOnly;
        pass.clearStencil = c.stencil;
        pass.slices.clear();
        camera.ApplyCamera();
        GfxCallRecord record;
        list.RenderPasses();
        // The last slice is set up for the gathering, then every slice draws.
        EXPECT_EQ(pass.slices, (std::vector<uint8_t>{2, 0, 1, 2}));
        EXPECT_EQ(gather.shadowSlice, 9u);
        const auto clears = record.Calls("Clear");
        ASSERT_EQ(clears.size(), 3 * c.clears.size()) << int(c.keep) << int(c.depthOnly) << int(c.stencil);
        for (size_t i = 0; i < clears.size(); ++i) {
            EXPECT_EQ(clears[i].args[1], c.clears[i % c.clears.size()].first);
            EXPECT_EQ(clears[i].args[2], c.clears[i % c.clears.size()].second);
        }
        const auto draws = record.Draws();
        ASSERT_EQ(draws.size(), 3u); // each slice: the three entries as one batch
        for (const auto& draw : draws) {
            EXPECT_EQ(draw.effect.technique, "depth");
            EXPECT_EQ(draw.instanceCount, 3u);
            EXPECT_EQ(draw.renderStates[gfx::kRsZWriteEnable], 0u);
            EXPECT_EQ(draw.renderStates[gfx::kRsColorWriteEnable], 0xFFFFFFFFu);
        }
        // After its slices the pass resets its templates and applies its camera.
        EXPECT_EQ(gather.instanceList.Count(), 0u);
        EXPECT_EQ(GetActiveCamera(), &lightCamera);
    }

    // Without its switches on, a shadow pass gathers but draws no slice.
    pass.drawSlices = false;
    pass.slices.clear();
    GfxCallRecord record;
    list.RenderPasses();
    EXPECT_EQ(pass.slices, std::vector<uint8_t>{2});
    EXPECT_EQ(record.Draws().size(), 0u);
    EXPECT_EQ(record.Count("Clear"), 0u);
}

TEST_F(Executor, APassNotDueWithAlwaysDrawStillBindsClearsAndDraws)
{
    SetPassClock(FakeClock);
    fakeNow = 0; // a periodic pass is not due while the clock shows 0
    AppendingTemplate gather(Record(), 1);
    renderer->queues = {&gather.instanceList};
    RenderPass pass;
    pass.target = &run.Renderer()->Targets().BackBufferTarget();
    pass.period = 500;
    pass.alwaysDraw = 1;
    pass.printCount = 1;
    pass.stateOverrides[kRsZFunc] = 8;
    pass.AddRendererTemplate(&gather);
    list.passes = {&pass};
    GfxCallRecord record;
    list.RenderPasses();
    EXPECT_EQ(run.Out(), "0\n");
    EXPECT_EQ(record.Count("Clear"), 1u);
    EXPECT_GE(record.Count("SetRenderTarget"), 1u);
    EXPECT_EQ(record.Draws().size(), 0u); // nothing gathered, nothing drawn
    const auto states = record.Calls("SetRenderState");
    ASSERT_EQ(states.size(), 2u); // applied and restored
    EXPECT_EQ(states[0].args, (std::vector<uint64_t>{kRsZFunc, 8}));
    EXPECT_EQ(states[1].args, (std::vector<uint64_t>{kRsZFunc, 4}));
}
