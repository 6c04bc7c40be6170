// The Direct3D context and the render device as the start-up makes them: the
// presentation parameters from the settings, the capability report, the back
// buffer set-up, a failed creation and the release order (stereo has its own tests).
#include <gtest/gtest.h>

#include <algorithm>

#include "kernel/file_system.h"
#include "kernel/platform.h"
#include "kernel/win_platform.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/render_state.h"
#include "testing/gfx_adapter_settings.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "testing/window_hooks.h"
#include "tests/render/device_fixture.h"

using render_test::DeviceRun;
using render_test::Pointer;

namespace {

const char* const kCapsLines = "Support for chosen antialiasing mode: OK\n"
                               "Support for dynamic textures: OK\n"
                               "Support for stretching from textures: OK\n"
                               "Support for Vertex Shader Model 3.0: OK\n"
                               "Support for Pixel Shader Model 3.0: OK\n";

std::vector<std::string> BoxTexts(const DeviceRun& run)
{
    std::vector<std::string> texts;
    for (const auto& box : run.Boxes())
        texts.push_back(box.text);
    return texts;
}

} // namespace

TEST(D3DContext, ReportsTheCapableAdapterAndTheHandles)
{
    DeviceRun run;
    ASSERT_TRUE(run.Start());
    const std::string expected = "Direct3D9 handle: " + Pointer(GetD3DContext()->d3d) + "\n" + kCapsLines +
                                 "Support for GPU queries: OK\n" + "D3D9Device Handle: " + Pointer(run.Device()) + "\n";
    EXPECT_EQ(run.Out(), expected);
    EXPECT_TRUE(run.Boxes().empty());
    EXPECT_EQ(GetD3DContext()->caps.pixelShaderVersion, gfx::PixelShaderVersion(3, 0));
}

TEST(D3DContext, PlainSettingsMakeAWindowedTripleBufferWaitingForTheRetrace)
{
    DeviceRun run;
    ASSERT_TRUE(run.Start());
    gfx::PresentParameters p;
    ASSERT_EQ(run.Device()->GetPresentParameters(&p), gfx::kOk);
    EXPECT_EQ(p.backBufferWidth, 320u);
    EXPECT_EQ(p.backBufferHeight, 200u);
    EXPECT_EQ(p.backBufferFormat, gfx::kFormatA8R8G8B8);
    EXPECT_EQ(p.backBufferCount, 3u);
    EXPECT_EQ(p.multiSampleType, 0u);
    EXPECT_EQ(p.multiSampleQuality, 0u);
    EXPECT_EQ(p.swapEffect, gfx::kSwapDiscard);
    EXPECT_TRUE(p.windowed);
    EXPECT_FALSE(p.enableAutoDepthStencil);
    EXPECT_EQ(p.presentationInterval, gfx::kPresentIntervalOne);
}

TEST(D3DContext, CsaaFullscreenWithoutVsync)
{
    DeviceRun run("[Graphics]\nwidth=320\nheight=200\nantialiasing=32\nfullscreen=1\nvsync=0\n");
    ASSERT_TRUE(run.Start());
    gfx::PresentParameters p;
    ASSERT_EQ(run.Device()->GetPresentParameters(&p), gfx::kOk);
    EXPECT_EQ(p.backBufferWidth, 320u);
    EXPECT_EQ(p.backBufferHeight, 200u);
    EXPECT_EQ(p.multiSampleType, 8u);
    EXPECT_EQ(p.multiSampleQuality, 2u);
    EXPECT_FALSE(p.windowed);
    EXPECT_EQ(p.presentationInterval, gfx::kPresentIntervalImmediate);

    // The back buffer's own depth-stencil surface follows the device's multisampling.
    gfx::Surface* depth = run.Renderer()->Targets().BackBufferTarget().depthStencil;
    ASSERT_NE(depth, nullptr);
    EXPECT_EQ(depth->MultiSampleType(), 8u);
    EXPECT_EQ(depth->MultiSampleQuality(), 2u);
    EXPECT_EQ(depth->Format(), gfx::kFormatD24S8);

    const std::string out = run.Out();
    EXPECT_NE(out.find("Support for CSAA (SampleType check): OK\nSupport for CSAA (AALevels = 4): OK\n"
                       "Support for dynamic textures: OK\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("chosen antialiasing mode"), std::string::npos);
}

TEST(D3DContext, EachLoweredCapabilityShowsItsBoxAndTheDeviceIsStillMade)
{
    DeviceRun run("[Graphics]\nwidth=64\nheight=64\nalphaToCoverage=1\n");
    platform::testing::GfxAdapterSettings adapter;
    adapter.SetAlphaToCoverage(false);
    adapter.SetQueries(false, true);
    adapter.ChangeCaps([](gfx::Caps& caps) {
        caps.caps2 &= ~gfx::kCaps2DynamicTextures;
        caps.devCaps2 &= ~gfx::kDevCaps2CanStretchRectFromTextures;
        caps.vertexShaderVersion = gfx::VertexShaderVersion(2, 0);
        caps.pixelShaderVersion = gfx::PixelShaderVersion(2, 0);
    });
    ASSERT_TRUE(run.Start());
    EXPECT_NE(run.Device(), nullptr);
    const std::vector<std::string> expected{
        ErrorBoxText("Device doesn't support dynamic textures\n"),
        ErrorBoxText("Device doesn't support stretching from textures\n"),
        ErrorBoxText("Device doesn't support Vertex Shader Model 3.0\n"),
        ErrorBoxText("Device doesn't support Pixel Shader Model 3.0\n"),
        ErrorBoxText("Device doesn't support Alpha-to-coverage\n"),
        ErrorBoxText("Device doesn't support GPU queries\n"),
    };
    EXPECT_EQ(BoxTexts(run), expected);
    EXPECT_EQ(run.Out().find("Support for dynamic"), std::string::npos);
}

TEST(D3DContext, TooFewCsaaLevelsAreReportedBeforeTheDeviceRefusesQuality2)
{
    DeviceRun run("[Graphics]\nwidth=64\nheight=64\nantialiasing=32\n");
    platform::testing::GfxAdapterSettings adapter;
    adapter.SetMultisample(8, 2);
    EXPECT_FALSE(run.Start());
    const std::vector<std::string> expected{
        ErrorBoxText("Device doesn't support CSAA (AALevels = 2)\n"),
        ErrorBoxText("Can't create Direct3D device: Invalid call\n"),
    };
    EXPECT_EQ(BoxTexts(run), expected);
    EXPECT_NE(run.Out().find("Support for CSAA (SampleType check): OK\n"), std::string::npos);
}

TEST(D3DContext, AnUnsupportedSampleCountIsReportedAndAlphaToCoverageOffIsNotAsked)
{
    DeviceRun run("[Graphics]\nwidth=64\nheight=64\nantialiasing=4\n");
    platform::testing::GfxAdapterSettings adapter;
    adapter.SetMultisample(2, 1);
    platform::testing::GfxCallRecord record;
    run.Start(); // the device itself refuses 4 samples too
    EXPECT_EQ(record.Count("CheckDeviceFormat"), 0u);
    ASSERT_GE(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Device doesn't support chosen antialiasing mode\n"));
}

TEST(D3DContext, BackBufferTargetViewportAndDefaultStates)
{
    DeviceRun run;
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    RenderDevice* r = run.Renderer();
    const gfx::Viewport& v = r->Targets().BackBufferTarget().viewport;
    EXPECT_EQ(v.x, 0u);
    EXPECT_EQ(v.y, 0u);
    EXPECT_EQ(v.width, 320u);
    EXPECT_EQ(v.height, 200u);
    EXPECT_EQ(v.maxZ, 1.0f);
    EXPECT_EQ(r->Targets().CurrentTarget(), &r->Targets().BackBufferTarget());
    gfx::Surface* target = nullptr;
    ASSERT_EQ(run.Device()->GetRenderTarget(0, &target), gfx::kOk);
    EXPECT_EQ(target, r->Targets().BackBufferTarget().colour);
    target->Release();
    gfx::Surface* depth = nullptr;
    ASSERT_EQ(run.Device()->GetDepthStencilSurface(&depth), gfx::kOk);
    EXPECT_EQ(depth, r->Targets().BackBufferTarget().depthStencil);
    depth->Release();

    EXPECT_EQ(r->Targets().ViewportScale().x, 160.0f);
    EXPECT_EQ(r->Targets().ViewportScale().y, -100.0f);
    EXPECT_EQ(r->Targets().ViewportScale().z, 1.0f);
    EXPECT_EQ(r->Targets().ViewportOffset().x, 160.0f);
    EXPECT_EQ(r->Targets().ViewportOffset().y, 100.0f);
    EXPECT_EQ(r->Targets().ViewportOffset().z, 0.0f);
    EXPECT_FLOAT_EQ(r->Targets().AspectRatio(), 1.6f);

    // The five default states, in order, after the targets are bound.
    std::vector<std::pair<uint64_t, uint64_t>> states;
    for (const auto& call : record.Calls("SetRenderState"))
        states.emplace_back(call.args.at(0), call.args.at(1));
    const std::vector<std::pair<uint64_t, uint64_t>> expected{
        {gfx::kRsZEnable, 1}, {gfx::kRsZWriteEnable, 1}, {gfx::kRsZFunc, 4}, {gfx::kRsSrcBlend, 5}, {gfx::kRsDestBlend, 6}};
    EXPECT_EQ(states, expected);

    EXPECT_TRUE(r->Frame().AllowInstancing());
    EXPECT_EQ(r->Resources().BytesPerTexel(gfx::kFormatA8), 1.0f);
    EXPECT_EQ(r->Resources().BytesPerTexel(gfx::kFormatDXT1), 0.5f);
    EXPECT_EQ(r->Resources().BytesPerTexel(gfx::kFormatDXT5), 1.0f);
    EXPECT_EQ(r->Resources().BytesPerTexel(gfx::kFormatA8R8G8B8), 4.0f) << "only the three formats are in the table";
    EXPECT_NE(r->Line(), nullptr);
    EXPECT_EQ(r->Memory().GetBusyVideoMemory(), r->Memory().VideoMemoryAtStart() + 320u * 200 * 4)
        << "DirectDraw reads";
    EXPECT_EQ(r->Memory().VideoMemoryCaps().caps, 0x30004000u);
    // The back buffers (three of 320 x 200 x 4) were in use before InitDirectDraw.
    EXPECT_EQ(r->Memory().VideoMemoryAtStart(), 3u * 320 * 200 * 4);
    EXPECT_EQ(r->Memory().VideoMemory(VideoMemoryKind::Surface), 320 * 200 * 4); // the depth-stencil surface
}

TEST(D3DContext, InstancingIsAllowedUntilAnAbsentSettingTurnsItOff)
{
    DeviceRun run("[Graphics]\nwidth=32\nheight=32\n");
    GetD3DContext()->CreateD3D();
    render_test::CopyGraphicsSettings();
    EXPECT_TRUE(GetRenderer()->Frame().AllowInstancing());
    EXPECT_EQ(GetRenderer()->Frame().Instancing().stream0Frequency, 1u);
    EXPECT_EQ(GetRenderer()->Frame().PrimitiveType(2), gfx::kPrimitiveLineList);
    EXPECT_EQ(GetRenderer()->Frame().PrimitiveType(3), gfx::kPrimitiveTriangleList);
    ASSERT_TRUE(GetD3DContext()->CreateDevice());
    EXPECT_FALSE(GetRenderer()->Frame().AllowInstancing());
}

TEST(D3DContext, ReleasesEverythingInOrderAndLeavesNothingBehind)
{
    DeviceRun run;
    ASSERT_TRUE(run.Start());
    run.ClearOut();
    run.Release();
    EXPECT_EQ(run.Out(), "!D3D9Device released\nD3D9 released\n");
    EXPECT_FALSE(RendererExists());
    EXPECT_FALSE(D3DContextExists());
    EXPECT_EQ(platform::testing::LeakedAtLastDeviceRelease(), 0u);
    run.ClearOut();
    DestroyD3DContext(); // nothing left: no line
    EXPECT_EQ(run.Out(), "");
}

TEST(D3DContext, FailedCreationIsReportedAndLaterCallsStaySafe)
{
    DeviceRun run;
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateDevice", gfx::kOutOfVideoMemory);
    EXPECT_FALSE(run.Start());
    EXPECT_EQ(run.Device(), nullptr);
    EXPECT_EQ(run.Renderer()->LastResult(), gfx::kOutOfVideoMemory);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Can't create Direct3D device: Out of video memory\n"));
    EXPECT_EQ(run.Out().find("D3D9Device Handle"), std::string::npos);

    // Whatever still asks for the device gets a failure, not a crash.
    run.ClearBoxes();
    gfx::VertexBuffer* buffer = reinterpret_cast<gfx::VertexBuffer*>(1);
    EXPECT_FALSE(run.Renderer()->Resources().CreateVertexBuffer(&buffer, 4, 16, gfx::kUsageWriteOnly));
    EXPECT_EQ(buffer, nullptr);
    run.Renderer()->Frame().SetRenderStateCached(gfx::kRsZEnable, 0);
    EXPECT_EQ(run.Renderer()->LastResult(), gfx::kInvalidCall);

    run.ClearOut();
    run.Release();
    EXPECT_EQ(run.Out(), "!D3D9Device released\nD3D9 released\n");
}

TEST(D3DContext, NoDirect3DObjectMeansNoDevice)
{
    DeviceRun run;
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateDirect3D", gfx::kNotAvailable);
    EXPECT_FALSE(run.Start());
    EXPECT_EQ(run.Out().rfind("Direct3D9 handle: 0\n", 0), 0u) << run.Out();
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("Can't create Direct3D device: Not available\n"));
    run.ClearOut();
    run.Release();
    EXPECT_EQ(run.Out(), "!D3D9Device released\n");
}

TEST(D3DContext, DirectDrawFailuresAreReportedAndReadingsCountZero)
{
    DeviceRun run;
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateDirectDraw", gfx::kFail);
    ASSERT_TRUE(run.Start());
    const std::vector<std::string> expected{
        ErrorBoxText("Can't initialize DirectDraw.\n"),
        ErrorBoxText("Can't query DirectDraw interface.\n"),
        ErrorBoxText("Failed to get busy video memory.\n"),
        ErrorBoxText("Failed to get busy video memory.\n"), // before and after the depth-stencil surface
        ErrorBoxText("Failed to get busy video memory.\n"),
    };
    EXPECT_EQ(BoxTexts(run), expected);
    EXPECT_EQ(run.Renderer()->Memory().VideoMemoryAtStart(), 0u);
    EXPECT_EQ(run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Surface), 0);
    EXPECT_NE(run.Renderer()->Targets().BackBufferTarget().depthStencil, nullptr);
}
