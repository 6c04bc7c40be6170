// Accounted creations and releases: every counter moves by the video memory the
// object took or gave back, failures are reported in their own words and leave
// the counters alone, and the buffer wrappers let their callers see a failure.
#include <gtest/gtest.h>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/device/video_memory.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/device_fixture.h"

using render_test::DeviceRun;

namespace {

class VideoMemory : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        run.ClearOut();
        surfacesAtStart = run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Surface);
    }

    RenderDevice* R() { return run.Renderer(); }

    DeviceRun run{"[Graphics]\nwidth=64\nheight=64\nantialiasing=32\n"};
    int32_t surfacesAtStart = 0;
};

} // namespace

TEST_F(VideoMemory, CountersFollowEachKindThroughCreationAndRelease)
{
    gfx::Texture* texture = nullptr;
    ASSERT_TRUE(R()->Resources().CreateRenderTexture(&texture, 64, 32, gfx::kFormatA8R8G8B8, 0, gfx::kPoolDefault, 1));
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Texture), 64 * 32 * 4);
    EXPECT_EQ(R()->LastResult(), gfx::kOk);

    gfx::VertexBuffer* vertices = nullptr;
    ASSERT_TRUE(R()->Resources().CreateVertexBuffer(&vertices, 100, 32, gfx::kUsageWriteOnly));
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 3200);
    gfx::BufferDesc desc;
    vertices->GetDesc(&desc);
    EXPECT_EQ(desc.pool, gfx::kPoolDefault);
    EXPECT_EQ(desc.usage, gfx::kUsageWriteOnly);

    gfx::IndexBuffer* shorts = nullptr;
    gfx::IndexBuffer* longs = nullptr;
    ASSERT_TRUE(R()->Resources().CreateIndexBuffer(&shorts, 300, 2, gfx::kUsageWriteOnly));
    ASSERT_TRUE(R()->Resources().CreateIndexBuffer(&longs, 300, 4, gfx::kUsageWriteOnly));
    EXPECT_EQ(shorts->Format(), gfx::kFormatIndex16);
    EXPECT_EQ(longs->Format(), gfx::kFormatIndex32);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 600 + 1200);

    gfx::Surface* plainTarget = nullptr;
    gfx::Surface* sampledTarget = nullptr;
    gfx::Surface* depth = nullptr;
    ASSERT_TRUE(R()->Resources().CreateRenderTarget(&plainTarget, 16, 16, gfx::kFormatA8R8G8B8, 0));
    ASSERT_TRUE(R()->Resources().CreateRenderTarget(&sampledTarget, 16, 16, gfx::kFormatA8R8G8B8, 1));
    ASSERT_TRUE(R()->Resources().CreateDepthStencilSurface(&depth, 16, 16, gfx::kFormatD24S8, 0));
    EXPECT_EQ(plainTarget->MultiSampleType(), 0u);
    EXPECT_EQ(sampledTarget->MultiSampleType(), 8u);
    EXPECT_EQ(sampledTarget->MultiSampleQuality(), 2u);
    EXPECT_EQ(depth->MultiSampleType(), 0u); // not the back buffer's own
    const int32_t surfaces = R()->Memory().VideoMemory(VideoMemoryKind::Surface) - surfacesAtStart;
    EXPECT_EQ(surfaces, 16 * 16 * 4 + 16 * 16 * 4 * 8 + 16 * 16 * 4);

    gfx::Surface* staging = nullptr;
    ASSERT_TRUE(R()->Resources().CreateOffscreenSurface(&staging, 16, 16, gfx::kFormatA8R8G8B8, gfx::kPoolSystemMem));
    // System memory is not video memory.
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Surface) - surfacesAtStart, surfaces);

    gfx::Surface* level = nullptr;
    ASSERT_TRUE(R()->Resources().GetSurfaceLevelChecked(0, texture, &level));
    EXPECT_EQ(level->Width(), 64u);
    level->Release();

    ReleaseVideoResource(texture);
    ReleaseVideoResource(vertices);
    ReleaseVideoResource(shorts);
    ReleaseVideoResource(longs);
    ReleaseVideoResource(plainTarget);
    ReleaseVideoResource(sampledTarget);
    ReleaseVideoResource(depth);
    ReleaseVideoResource(staging);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Texture), 0);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 0);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 0);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Surface), surfacesAtStart);
    EXPECT_EQ(run.Out(), "");
    EXPECT_TRUE(run.Boxes().empty());

    ReleaseVideoResource(static_cast<gfx::Surface*>(nullptr)); // nothing to release
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Surface), surfacesAtStart);
}

TEST_F(VideoMemory, FailedCreationsReportOnTheirChannelAndTouchNoCounter)
{
    platform::testing::GfxFailureInjection inject;
    platform::testing::GfxCallRecord record;

    gfx::Texture* texture = nullptr;
    inject.Fail("CreateTexture", gfx::kOutOfVideoMemory);
    EXPECT_FALSE(R()->Resources().CreateRenderTexture(&texture, 64, 64, gfx::kFormatA8R8G8B8, 0, gfx::kPoolDefault, 1));
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(R()->LastResult(), gfx::kOutOfVideoMemory);
    EXPECT_EQ(record.Count("GetAvailableVidMem"), 1u); // no reading after a failure

    gfx::Surface* surface = nullptr;
    inject.Fail("CreateDepthStencilSurface", gfx::kOutOfVideoMemory);
    EXPECT_FALSE(R()->Resources().CreateDepthStencilSurface(&surface, 8, 8, gfx::kFormatD24S8, 0));
    gfx::IndexBuffer* indices = nullptr;
    inject.Fail("CreateIndexBuffer", gfx::kOutOfVideoMemory);
    EXPECT_FALSE(R()->Resources().CreateIndexBuffer(&indices, 6, 2, gfx::kUsageWriteOnly));
    EXPECT_EQ(indices, nullptr);
    gfx::VertexBuffer* vertices = nullptr;
    inject.Fail("CreateVertexBuffer", gfx::kInvalidCall);
    EXPECT_FALSE(R()->Resources().CreateVertexBuffer(&vertices, 6, 12, gfx::kUsageWriteOnly));
    EXPECT_EQ(vertices, nullptr);
    EXPECT_EQ(R()->LastResult(), gfx::kInvalidCall);
    EXPECT_EQ(record.Count("GetAvailableVidMem"), 6u) << "a failed buffer is still read again";

    inject.Fail("CreateRenderTarget", gfx::kOutOfVideoMemory);
    EXPECT_FALSE(R()->Resources().CreateRenderTarget(&surface, 8, 8, gfx::kFormatA8R8G8B8, 0));
    inject.Fail("CreateOffscreenPlainSurface", gfx::kOutOfVideoMemory);
    EXPECT_FALSE(R()->Resources().CreateOffscreenSurface(&surface, 8, 8, gfx::kFormatA8R8G8B8, gfx::kPoolDefault));
    EXPECT_EQ(surface, nullptr);

    const std::vector<std::string> boxes{
        ErrorBoxText("Can't create render texture! Out of video memory\n"),
        ErrorBoxText("Failed to create DSS.\n"),
        ErrorBoxText("Error creating index buffer.\n"),
        ErrorBoxText("Error creating vertex buffer.\n"),
    };
    std::vector<std::string> shown;
    for (const auto& box : run.Boxes())
        shown.push_back(box.text);
    EXPECT_EQ(shown, boxes);
    EXPECT_EQ(run.Out(), "Failed to create RenderTarget!\nFailed to create Offscreen-surface!\n");
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Texture), 0);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), 0);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 0);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::Surface), surfacesAtStart);
}

TEST_F(VideoMemory, ABufferBeyond4GiBIsRefusedBeforeTheDevice)
{
    platform::testing::GfxCallRecord record;
    gfx::VertexBuffer* vertices = nullptr;
    EXPECT_FALSE(R()->Resources().CreateVertexBuffer(&vertices, 0x10000, 0x10000, 0));
    gfx::IndexBuffer* indices = nullptr;
    EXPECT_FALSE(R()->Resources().CreateIndexBuffer(&indices, 0x40000000, 4, 0));
    EXPECT_EQ(record.Count("CreateVertexBuffer"), 0u);
    EXPECT_EQ(record.Count("CreateIndexBuffer"), 0u);
    ASSERT_EQ(run.Boxes().size(), 2u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Error creating vertex buffer.\n"));
    EXPECT_EQ(run.Boxes()[1].text, ErrorBoxText("Error creating index buffer.\n"));
}

TEST_F(VideoMemory, AFailedSurfaceLevelIsPrinted)
{
    gfx::Texture* texture = nullptr;
    ASSERT_TRUE(R()->Resources().CreateRenderTexture(&texture, 8, 8, gfx::kFormatA8R8G8B8, 0, gfx::kPoolDefault, 1));
    gfx::Surface* level = nullptr;
    EXPECT_FALSE(R()->Resources().GetSurfaceLevelChecked(3, texture, &level));
    EXPECT_EQ(level, nullptr);
    EXPECT_EQ(R()->LastResult(), gfx::kInvalidCall);
    EXPECT_EQ(run.Out(), "Failed to get surface level.\n");
    ReleaseVideoResource(texture);
}

TEST_F(VideoMemory, AFailedReadingCountsAsNothingInUse)
{
    platform::testing::GfxFailureInjection inject;
    const uint32_t busy = R()->Memory().GetBusyVideoMemory();
    inject.Fail("GetAvailableVidMem", gfx::kFail); // the reading before the creation
    gfx::VertexBuffer* vertices = nullptr;
    ASSERT_TRUE(R()->Resources().CreateVertexBuffer(&vertices, 10, 10, 0));
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), static_cast<int32_t>(busy + 100));
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Failed to get busy video memory.\n"));

    // The reading after the release fails: the counter drops by all that was in use before it.
    inject.Fail("GetAvailableVidMem", gfx::kFail, 1, 1);
    ReleaseVideoResource(vertices);
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::VertexBuffer), 0);
    EXPECT_EQ(run.Boxes().size(), 2u);

    // A failed buffer counts its second reading: all in use.
    inject.Fail("GetAvailableVidMem", gfx::kFail);
    inject.Fail("CreateIndexBuffer", gfx::kOutOfVideoMemory);
    gfx::IndexBuffer* indices = nullptr;
    EXPECT_FALSE(R()->Resources().CreateIndexBuffer(&indices, 6, 2, 0));
    EXPECT_EQ(R()->Memory().VideoMemory(VideoMemoryKind::IndexBuffer), static_cast<int32_t>(busy));
}

TEST(VideoMemoryPlain, WithoutCsaaTheSettingIsTheSampleTypeAtQuality0)
{
    for (const uint32_t antialiasing : {0u, 4u}) {
        DeviceRun run("[Graphics]\nwidth=32\nheight=32\nantialiasing=" + std::to_string(antialiasing) + "\n");
        ASSERT_TRUE(run.Start());
        RenderDevice* renderer = run.Renderer();
        gfx::Surface* target = nullptr;
        gfx::Surface* depth = nullptr;
        ASSERT_TRUE(renderer->Resources().CreateRenderTarget(&target, 8, 8, gfx::kFormatA8R8G8B8, 1));
        ASSERT_TRUE(renderer->Resources().CreateDepthStencilSurface(&depth, 8, 8, gfx::kFormatD24S8, 1));
        for (const gfx::Surface* surface : {target, depth, renderer->Targets().BackBufferTarget().depthStencil}) {
            ASSERT_NE(surface, nullptr);
            EXPECT_EQ(surface->MultiSampleType(), antialiasing);
            EXPECT_EQ(surface->MultiSampleQuality(), 0u);
        }
        ReleaseVideoResource(target);
        ReleaseVideoResource(depth);
    }
}
