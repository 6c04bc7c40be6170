// Render passes and the list that runs them: defaults, shadow index
// selection, periodic timing, templates run in order (a shadow pass with the
// shadow-gathering flag set around each), clears and render states reaching
// the device, and copies of the target after the pass.
#include "render/frame/render_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/render_state.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/os/clock.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/renderer_template.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/textures/texture_resource.h"
#include "testing/gfx_call_record.h"
#include "tests/render/device_fixture.h"

using platform::testing::GfxCallRecord;
using render_test::DeviceRun;

namespace {
constexpr const char* kSettings =
    "[Graphics]\nwidth=320\nheight=200\nvsync=1\nallowInstancing=1\ninstancingBufferSize=8\n";

// Notes each Render with the flag and the shadow index it saw.
struct Journal {
    std::vector<std::string> entries;
};

class NotingTemplate : public RendererTemplate {
public:
    NotingTemplate(Journal& journal, std::string label, uint32_t instances = 0)
        : journal_(journal), label_(std::move(label)), instances_(instances)
    {
    }
    void Render() override
    {
        journal_.entries.push_back(label_ + " flag=" + std::to_string(shadowGathering) +
                                   " slice=" + std::to_string(shadowSlice));
        gatheredCount = instances_;
    }

private:
    Journal& journal_;
    std::string label_;
    uint32_t instances_;
};

class ShadowPass : public RenderPass {
public:
    explicit ShadowPass(Journal& journal) : journal_(journal) { mode = kPassShadow; }
    void RenderShadow(uint8_t index) override
    {
        journal_.entries.push_back("shadow " + std::to_string(index) + " flag=" + std::to_string(shadowGathering));
    }

private:
    Journal& journal_;
};

uint32_t fakeNow = 0;
uint32_t FakeClock()
{
    return fakeNow;
}

class Passes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run.Start()); }
    void TearDown() override { SetPassClock(nullptr); }

    std::vector<platform::testing::GfxCall> RunOnce(RenderPass& pass)
    {
        RenderPassList list;
        list.passes.push_back(&pass);
        GfxCallRecord record;
        list.RenderPasses();
        return record.Calls("Clear");
    }

    DeviceRun run{kSettings};
    SceneRenderer frame;
};
} // namespace

TEST(RenderPassBuilt, DefaultsAndShadowIndex)
{
    RenderPass pass;
    const std::map<uint32_t, uintptr_t> states{{22, 3}, {23, 4}, {19, 5}, {20, 6}};
    EXPECT_EQ(pass.stateOverrides, states);
    EXPECT_EQ(pass.colourWrite, 1);
    EXPECT_EQ(pass.depthWrite, 1);
    EXPECT_EQ(pass.keepContents | pass.clearDepthOnly | pass.clearStencil | pass.clearColourOnly, 0);
    EXPECT_EQ(pass.name, "");
    EXPECT_EQ(pass.mode, kPassNormal);
    EXPECT_EQ(pass.period, 0u);
    EXPECT_EQ(pass.clearColour, 0u);
    EXPECT_EQ(pass.target, nullptr);
    EXPECT_EQ(pass.camera, nullptr);
    EXPECT_TRUE(pass.subRenderers.empty());

    Journal journal;
    ShadowPass shadow(journal);
    shadow.RenderLastShadow();
    shadow.shadowSlices = 6;
    shadow.RenderLastShadow();
    EXPECT_EQ(journal.entries, (std::vector<std::string>{"shadow 255 flag=0", "shadow 5 flag=0"}));

    platform::testing::ScriptedMessageBoxes boxes;
    pass.RenderShadow(3);
    pass.RenderLastShadow();
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text.rfind("Non-overloaded shadowing.\n", 0), 0u);
}

TEST(RenderPassBuilt, PeriodicPassRunsWhenItsDeadlineIsPassed)
{
    RenderPass pass;
    float progress = -1.0f;
    pass.progress = &progress;
    pass.period = 1000;
    EXPECT_FALSE(pass.CheckPeriod(0)); // deadline 0 is not below 0
    EXPECT_TRUE(pass.CheckPeriod(10));
    EXPECT_EQ(progress, 0.0f);
    EXPECT_EQ(pass.deadline, 1010u);
    EXPECT_FALSE(pass.CheckPeriod(510));
    EXPECT_FLOAT_EQ(progress, 0.5f);
    EXPECT_FALSE(pass.CheckPeriod(1010));
    EXPECT_FLOAT_EQ(progress, 1.0f);
    EXPECT_TRUE(pass.CheckPeriod(1020));
    EXPECT_EQ(pass.deadline, 2020u);

    RenderPass everyFrame;
    EXPECT_TRUE(everyFrame.CheckPeriod(0));
    EXPECT_TRUE(everyFrame.CheckPeriod(0));
}

TEST_F(Passes, TemplatesFollowTheActiveCameraAndTheInstancingSize)
{
    RendererTemplate plain;
    EXPECT_EQ(plain.cameraSlot, GetActiveCameraSlot());
    EXPECT_EQ(plain.secondCameraSlot, GetActiveCameraSlot());
    EXPECT_EQ(plain.instanceList.items.capacity, 8u);
    EXPECT_GE(plain.instanceList.matrices.capacity(), 8u);
    EXPECT_EQ(plain.instanceList.lightList, nullptr);
    EXPECT_EQ(plain.deferReset, 0);
    EXPECT_EQ(plain.resetPending, 0);
    EXPECT_EQ(plain.enabled, 1);
    EXPECT_EQ(plain.autoReset, 1);
    EXPECT_EQ(plain.keep, 0);
    run.ClearOut();
    plain.Render();
    EXPECT_EQ(run.Out(), "This is default renderer template.\n Derive the renderer and use this virtual function.\n");
}

TEST_F(Passes, TemplatesRunInOrderAndTheShadowFlagOnlyWhileAShadowPassRunsOne)
{
    Journal journal;
    NotingTemplate a(journal, "a", 1), b(journal, "b", 2);
    a.shadowSlice = 7;
    RenderPass normal;
    normal.AddRendererTemplate(&a);
    normal.AddRendererTemplate(&b);
    normal.AddRendererTemplate(&a);
    normal.printCount = 1;
    ShadowPass shadow(journal);
    shadow.shadowSlice = 2;
    shadow.shadowSlices = 3;
    shadow.AddRendererTemplate(&b);
    shadow.AddRendererTemplate(&a);
    shadow.printCount = 1;

    RenderPassList list;
    list.passes = {&normal, &shadow};
    run.ClearOut();
    list.RenderPasses();
    EXPECT_EQ(journal.entries, (std::vector<std::string>{
                                   "a flag=0 slice=7", "b flag=0 slice=0", "a flag=0 slice=7",
                                   "shadow 2 flag=0", "b flag=1 slice=2", "shadow 2 flag=0", "a flag=1 slice=2"}));
    EXPECT_EQ(shadowGathering, 0);
    EXPECT_EQ(a.shadowSlice, 7u); // given back after the shadow pass
    EXPECT_EQ(b.shadowSlice, 0u);
    // The normal pass counts 1 + 2 + 1; a shadow pass counts nothing.
    EXPECT_EQ(run.Out(), "4\nAllocating instancing buffers for 0.000488281 MB\n0\n");
    EXPECT_EQ(list.frameCounter, 1u);
}

TEST_F(Passes, APassNotDueRunsNoTemplate)
{
    SetPassClock(FakeClock);
    Journal journal;
    NotingTemplate a(journal, "a");
    RenderPass pass;
    pass.period = 100;
    pass.AddRendererTemplate(&a);
    RenderPassList list;
    list.passes = {&pass};
    fakeNow = 0;
    list.RenderPasses();
    EXPECT_TRUE(journal.entries.empty());
    fakeNow = 5;
    list.RenderPasses();
    fakeNow = 50;
    list.RenderPasses();
    EXPECT_EQ(journal.entries.size(), 1u);
    EXPECT_EQ(list.frameCounter, 3u);
}

// The passes' clock runs from the program's start: by the first frame it is
// past a periodic pass's first deadline.
TEST(RenderPassBuilt, APeriodicPassIsDueAtTheFirstReadingOfThePassClock)
{
    while (platform::os::ProcessClock() == 0)
        platform::os::SleepMilliseconds(1);
    RenderPass pass;
    pass.period = 500;
    EXPECT_TRUE(pass.CheckPeriod(ReadPassClock()));
}

TEST_F(Passes, ClearFlagsAndColourReachTheDevice)
{
    const uint32_t T = gfx::kClearTarget, Z = gfx::kClearZBuffer, S = gfx::kClearStencil;
    struct Case {
        uint8_t keep, depthOnly, stencil, colourOnly, depthWrite;
        std::vector<std::pair<uint32_t, uint32_t>> clears; // flags, colour
    };
    const uint32_t colour = 0xBBBBBBBB, separate = 0x44444444;
    const Case cases[] = {
        {0, 0, 0, 0, 1, {{T | Z, colour}}},
        {0, 0, 0, 0, 0, {{T, colour}}},
        {0, 0, 1, 0, 1, {{T | Z | S, colour}}},
        {0, 1, 1, 0, 1, {{Z, separate}, {S, separate}}},
        {0, 1, 0, 1, 1, {{Z, separate}}},
        {0, 0, 1, 1, 1, {{T, colour}}},
        {1, 1, 1, 1, 1, {{S, separate}}},
        {1, 0, 0, 0, 1, {}},
    };
    for (const Case& c : cases) {
        RenderPass pass;
        pass.alwaysDraw = 1;
        pass.target = &run.Renderer()->Targets().BackBufferTarget();
        pass.clearColour = colour;
        pass.keepContents = c.keep;
        pass.clearDepthOnly = c.depthOnly;
        pass.clearStencil = c.stencil;
        pass.clearColourOnly = c.colourOnly;
        pass.depthWrite = c.depthWrite;
        const auto clears = RunOnce(pass);
        ASSERT_EQ(clears.size(), c.clears.size()) << int(c.keep) << int(c.depthOnly) << int(c.stencil);
        for (size_t i = 0; i < clears.size(); ++i) {
            EXPECT_EQ(clears[i].args[0], 0u);
            EXPECT_EQ(clears[i].args[1], c.clears[i].first);
            EXPECT_EQ(clears[i].args[2], c.clears[i].second);
            EXPECT_EQ(clears[i].args[3], 0u);              // stencil 0
            EXPECT_EQ(clears[i].floats, std::vector<float>{1.0f}); // Z 1.0
        }
    }
}

TEST_F(Passes, AnEmptyPassNeitherClearsNorSetsStates)
{
    Journal journal;
    NotingTemplate nothing(journal, "n");
    RenderPass pass;
    pass.target = &run.Renderer()->Targets().BackBufferTarget();
    pass.AddRendererTemplate(&nothing);
    RenderPassList list;
    list.passes = {&pass};
    GfxCallRecord record;
    list.RenderPasses();
    EXPECT_EQ(record.Count("Clear"), 0u);
    EXPECT_EQ(record.Count("SetRenderState"), 0u);
    EXPECT_EQ(journal.entries.size(), 1u);
}

TEST_F(Passes, StatesApplyWhileThePassDrawsAndAreRestoredAfter)
{
    RenderPass pass;
    pass.alwaysDraw = 1;
    pass.target = &run.Renderer()->Targets().BackBufferTarget();
    pass.stateOverrides[kRsZFunc] = 8;
    pass.colourWrite = 0;
    RenderPassList list;
    list.passes = {&pass};
    list.RenderPasses();
    // After the pass the cache holds the values from before it.
    EXPECT_EQ(frame.renderStates.CachedValue(kRsZFunc), list.savedStates[kRsZFunc]);
    EXPECT_NE(list.savedStates[kRsZFunc], 8u);
    EXPECT_EQ(frame.renderStates.CachedValue(gfx::kRsColorWriteEnable), 0u);
    uint32_t zfunc = 0;
    run.Device()->GetRenderState(kRsZFunc, &zfunc);
    EXPECT_EQ(zfunc, list.savedStates[kRsZFunc]);
}

TEST_F(Passes, ThePassTargetIsCopiedIntoTheSecondTargetAfterDrawing)
{
    TextureResource drawn, copy;
    drawn.InitRenderTexture(64, 32, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget, gfx::kPoolDefault, 1);
    copy.InitRenderTexture(64, 32, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget, gfx::kPoolDefault, 1);
    RenderTargetRecord& from = drawn.GetPayload()->target;
    RenderTargetRecord& into = copy.GetPayload()->target;
    into.viewport.x = 8;
    into.viewport.width = 32;
    into.viewport.height = 16;

    RenderPass pass;
    pass.target = &from;
    pass.copyAfterDraw = &into; // draws even with nothing gathered
    RenderPassList list;
    list.passes = {&pass};
    GfxCallRecord record;
    list.RenderPasses();
    const auto names = record.Names();
    const auto clear = std::find(names.begin(), names.end(), "Clear");
    const auto stretch = std::find(names.begin(), names.end(), "StretchRect");
    ASSERT_NE(stretch, names.end());
    EXPECT_LT(clear, stretch);
    const auto copies = record.Calls("StretchRect");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].args[0], gfx::detail::Arg(from.colour));
    EXPECT_EQ(copies[0].args[1], gfx::detail::Arg(into.colour));
    EXPECT_EQ((std::vector<uint64_t>(copies[0].args.begin() + 2, copies[0].args.begin() + 6)),
              (std::vector<uint64_t>{8, 0, 40, 16}));
    EXPECT_EQ(copies[0].result, gfx::kOk);
    EXPECT_TRUE(run.Boxes().empty());

    // A copy that cannot be made is reported and the frame goes on.
    pass.target = nullptr;
    list.RenderPasses();
    ASSERT_EQ(run.Boxes().size(), 1u);
    const std::string text = run.Boxes()[0].text;
    EXPECT_EQ(text.rfind("StretchRect failed. ", 0), 0u) << text;
    EXPECT_NE(text.find(" src=0, dest=" + std::to_string(reinterpret_cast<uintptr_t>(into.colour)) + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(list.frameCounter, 2u);
}
