#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/render_state.h"
#include "testing/gfx_adapter_settings.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "testing/refresh_clock.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

using namespace gfx;
using platform::testing::GfxAdapterSettings;
using platform::testing::GfxCallRecord;
using platform::testing::GfxFailureInjection;

TEST(GfxDevice, Direct3DNeedsTheEngineSdkVersionAndCanBeMadeToFail)
{
    EXPECT_EQ(nullptr, CreateDirect3D(31));
    Direct3D* d3d = CreateDirect3D(kSdkVersion);
    ASSERT_NE(nullptr, d3d);
    EXPECT_EQ(0u, d3d->Release());

    GfxFailureInjection injection;
    injection.Fail("CreateDirect3D", kFail);
    EXPECT_EQ(nullptr, CreateDirect3D(kSdkVersion));
    Direct3D* again = CreateDirect3D(kSdkVersion);
    EXPECT_NE(nullptr, again);
    SafeRelease(again);
}

TEST(GfxDevice, CreationKeepsTheParametersAndMakesTheBackBufferTargetAndViewport)
{
    gfx_test::TestDevice test(320, 200);
    ASSERT_NE(nullptr, test.device);
    PresentParameters kept;
    ASSERT_EQ(kOk, test.device->GetPresentParameters(&kept));
    EXPECT_EQ(320u, kept.backBufferWidth);
    EXPECT_EQ(200u, kept.backBufferHeight);
    EXPECT_EQ(3u, kept.backBufferCount);
    EXPECT_EQ(kPresentIntervalImmediate, kept.presentationInterval);

    Surface* back = nullptr;
    ASSERT_EQ(kOk, test.device->GetRenderTarget(0, &back));
    SurfaceDesc desc;
    back->GetDesc(&desc);
    EXPECT_EQ(320u, desc.width);
    EXPECT_EQ(200u, desc.height);
    EXPECT_EQ(uint32_t{kFormatA8R8G8B8}, desc.format);
    EXPECT_EQ(kUsageRenderTarget, desc.usage);
    // Device's own reference, its binding as target 0, and ours.
    EXPECT_EQ(3u, back->RefCount());
    EXPECT_EQ(2u, back->Release());

    Viewport viewport;
    test.device->GetViewport(&viewport);
    EXPECT_EQ(0u, viewport.x);
    EXPECT_EQ(0u, viewport.y);
    EXPECT_EQ(320u, viewport.width);
    EXPECT_EQ(200u, viewport.height);
    EXPECT_EQ(0.0f, viewport.minZ);
    EXPECT_EQ(1.0f, viewport.maxZ);
    Surface* depth = nullptr;
    EXPECT_EQ(kNotFound, test.device->GetDepthStencilSurface(&depth));
    EXPECT_EQ(nullptr, depth);
}

TEST(GfxDevice, CreationRefusesParametersThatMakeNoDevice)
{
    Direct3D* d3d = CreateDirect3D(kSdkVersion);
    const auto create = [&](PresentParameters parameters, uint32_t flags = kCreateHardwareVertexProcessing) {
        Device* device = reinterpret_cast<Device*>(1);
        const Result result = d3d->CreateDevice(0, kDeviceHal, nullptr, flags, &parameters, &device);
        if (Failed(result)) {
            EXPECT_EQ(nullptr, device);
        }
        SafeRelease(device);
        return result;
    };
    PresentParameters zero = gfx_test::EngineParameters(0, 100);
    EXPECT_EQ(kInvalidCall, create(zero));
    EXPECT_EQ(kInvalidCall, create(gfx_test::EngineParameters(64, 64), 0));
    PresentParameters many = gfx_test::EngineParameters(64, 64);
    many.backBufferCount = 4;
    EXPECT_EQ(kInvalidCall, create(many));
    PresentParameters eight = gfx_test::EngineParameters(64, 64);
    eight.multiSampleType = 8;
    eight.multiSampleQuality = 2;
    EXPECT_EQ(kOk, create(eight));
    {
        GfxAdapterSettings adapter;
        adapter.SetMultisample(4, 1);
        EXPECT_EQ(kInvalidCall, create(eight));
    }
    PresentParameters fullscreen = gfx_test::EngineParameters(64, 64);
    fullscreen.windowed = false;
    fullscreen.presentationInterval = kPresentIntervalOne;
    EXPECT_EQ(kOk, create(fullscreen));
    {
        GfxFailureInjection injection;
        injection.Fail("CreateDevice", kNotAvailable);
        EXPECT_EQ(kNotAvailable, create(gfx_test::EngineParameters(64, 64)));
    }
    SafeRelease(d3d);
}

TEST(GfxDevice, RenderStatesStartAtTheirDocumentedValues)
{
    gfx_test::TestDevice test;
    const auto state = [&](uint32_t id) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(kOk, test.device->GetRenderState(id, &value));
        return value;
    };
    EXPECT_EQ(kZBufferFalse, state(kRsZEnable)); // no automatic depth buffer
    EXPECT_EQ(1u, state(kRsZWriteEnable));
    EXPECT_EQ(kBlendOne, state(kRsSrcBlend));
    EXPECT_EQ(kBlendZero, state(kRsDestBlend));
    EXPECT_EQ(kCullCounterClockwise, state(kRsCullMode));
    EXPECT_EQ(kCompareLessEqual, state(kRsZFunc));
    EXPECT_EQ(0u, state(kRsClipPlaneEnable));
    EXPECT_EQ(kColorWriteAll, state(kRsColorWriteEnable));
    EXPECT_EQ(0u, state(kRsAlphaBlendEnable));
    EXPECT_EQ(std::bit_cast<uint32_t>(1.0f), state(kRsFogEnd));
    EXPECT_EQ(0xFFFFFFFFu, state(kRsStencilMask));
    for (uint32_t id = 0; id < kRenderStateLimit; ++id) {
        uint32_t value = 0;
        if (IsRenderState(id)) {
            EXPECT_EQ(InitialRenderState(id), state(id)) << id;
        } else {
            EXPECT_EQ(kInvalidCall, test.device->GetRenderState(id, &value)) << id;
        }
    }
    gfx_test::TestDevice withDepth(16, 16, true);
    uint32_t zEnable = 0;
    withDepth.device->GetRenderState(kRsZEnable, &zEnable);
    EXPECT_EQ(kZBufferTrue, zEnable);

    EXPECT_EQ(kOk, test.device->SetRenderState(kRsColorWriteEnable, 0xFFFFFFFF)); // any value is taken
    EXPECT_EQ(0xFFFFFFFFu, state(kRsColorWriteEnable));
    EXPECT_EQ(kInvalidCall, test.device->SetRenderState(505, 1));
    EXPECT_EQ(kInvalidCall, test.device->SetRenderState(kRenderStateLimit, 1));
}

TEST(GfxDevice, CapabilitiesAndChecksDescribeACapableAdapterUntilLowered)
{
    Direct3D* d3d = CreateDirect3D(kSdkVersion);
    Caps caps;
    ASSERT_EQ(kOk, d3d->GetDeviceCaps(0, kDeviceHal, &caps));
    EXPECT_NE(0u, caps.caps2 & kCaps2DynamicTextures);
    EXPECT_NE(0u, caps.devCaps2 & kDevCaps2CanStretchRectFromTextures);
    EXPECT_GE(caps.vertexShaderVersion, 0xFFFE0300u);
    EXPECT_GE(caps.pixelShaderVersion, 0xFFFF0300u);
    EXPECT_GE(caps.numSimultaneousRTs, 2u);
    EXPECT_EQ(kInvalidCall, d3d->GetDeviceCaps(1, kDeviceHal, &caps));

    uint32_t levels = 0;
    EXPECT_EQ(kOk, d3d->CheckDeviceMultiSampleType(0, kDeviceHal, kFormatX8R8G8B8, false, 8, &levels));
    EXPECT_GE(levels, 3u);
    EXPECT_EQ(kOk, d3d->CheckDeviceMultiSampleType(0, kDeviceHal, kFormatX8R8G8B8, false, 0, nullptr));
    EXPECT_EQ(kOk, d3d->CheckDeviceFormat(0, kDeviceHal, kFormatX8R8G8B8, 0, kResourceSurface, kFourCCAlphaToCoverage));
    EXPECT_EQ(kOk, d3d->CheckDeviceFormat(0, kDeviceHal, kFormatX8R8G8B8, kUsageRenderTarget, kResourceTexture,
                                          kFormatG32R32F));
    EXPECT_EQ(kNotAvailable, d3d->CheckDeviceFormat(0, kDeviceHal, kFormatX8R8G8B8, kUsageRenderTarget,
                                                    kResourceTexture, kFormatDXT1));
    {
        GfxAdapterSettings adapter;
        adapter.ChangeCaps([](Caps& lowered) {
            lowered.caps2 = 0;
            lowered.pixelShaderVersion = PixelShaderVersion(2, 0);
        });
        adapter.SetMultisample(4, 2);
        adapter.SetAlphaToCoverage(false);
        ASSERT_EQ(kOk, d3d->GetDeviceCaps(0, kDeviceHal, &caps));
        EXPECT_EQ(0u, caps.caps2 & kCaps2DynamicTextures);
        EXPECT_LT(caps.pixelShaderVersion, 0xFFFF0300u);
        levels = 0;
        EXPECT_EQ(kNotAvailable, d3d->CheckDeviceMultiSampleType(0, kDeviceHal, kFormatX8R8G8B8, false, 8, &levels));
        EXPECT_EQ(0u, levels);
        EXPECT_EQ(kOk, d3d->CheckDeviceMultiSampleType(0, kDeviceHal, kFormatX8R8G8B8, false, 4, &levels));
        EXPECT_EQ(2u, levels);
        EXPECT_EQ(kNotAvailable,
                  d3d->CheckDeviceFormat(0, kDeviceHal, kFormatX8R8G8B8, 0, kResourceSurface, kFourCCAlphaToCoverage));
    }
    ASSERT_EQ(kOk, d3d->GetDeviceCaps(0, kDeviceHal, &caps));
    EXPECT_NE(0u, caps.caps2 & kCaps2DynamicTextures);
    SafeRelease(d3d);
}

TEST(GfxDevice, TargetsViewportsAndTheirRules)
{
    gfx_test::TestDevice test(64, 32);
    Device* device = test.device;
    Texture* texture = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(16, 8, 1, kUsageRenderTarget, kFormatR32F, kPoolDefault, &texture));
    Surface* level = nullptr;
    ASSERT_EQ(kOk, texture->GetSurfaceLevel(0, &level));

    const Viewport tile{8, 0, 8, 8, 0.0f, 1.0f};
    EXPECT_EQ(kOk, device->SetViewport(&tile));
    EXPECT_EQ(kOk, device->SetRenderTarget(0, level)); // resets the viewport to the whole target
    Viewport viewport;
    device->GetViewport(&viewport);
    EXPECT_EQ(0u, viewport.x);
    EXPECT_EQ(16u, viewport.width);
    EXPECT_EQ(8u, viewport.height);
    EXPECT_EQ(kOk, device->SetViewport(&tile));
    const Viewport outside{8, 0, 16, 8, 0.0f, 1.0f};
    EXPECT_EQ(kInvalidCall, device->SetViewport(&outside));
    const Viewport empty{0, 0, 0, 0, 0.0f, 1.0f};
    EXPECT_EQ(kInvalidCall, device->SetViewport(&empty));
    device->GetViewport(&viewport);
    EXPECT_EQ(8u, viewport.x);

    EXPECT_EQ(kInvalidCall, device->SetRenderTarget(0, nullptr));
    EXPECT_EQ(kOk, device->SetRenderTarget(1, nullptr));
    EXPECT_EQ(kInvalidCall, device->SetRenderTarget(4, level));
    {
        GfxAdapterSettings adapter;
        adapter.ChangeCaps([](Caps& caps) { caps.numSimultaneousRTs = 1; });
        EXPECT_EQ(kInvalidCall, device->SetRenderTarget(1, level));
    }
    Surface* depth = nullptr;
    ASSERT_EQ(kOk, device->CreateDepthStencilSurface(16, 8, kFormatD24X8, 0, 0, true, &depth));
    EXPECT_EQ(kInvalidCall, device->SetRenderTarget(0, depth)); // not a colour target
    EXPECT_EQ(kInvalidCall, device->SetDepthStencilSurface(level));
    EXPECT_EQ(kOk, device->SetDepthStencilSurface(depth));
    EXPECT_EQ(2u, depth->RefCount()); // ours and the binding's

    // The texture lives while its level is bound, whatever the engine releases.
    level->Release();
    EXPECT_EQ(1u, texture->Release());
    Surface* back = nullptr;
    device->GetRenderTarget(0, &back);
    EXPECT_EQ(level, back);
    back->Release();
    EXPECT_EQ(kOk, device->SetDepthStencilSurface(nullptr));
    EXPECT_EQ(0u, depth->Release());
}

TEST(GfxDevice, ScenesPresentsAndALostDevice)
{
    gfx_test::TestDevice test;
    Device* device = test.device;
    EXPECT_EQ(kInvalidCall, device->EndScene());
    EXPECT_EQ(kOk, device->BeginScene());
    EXPECT_EQ(kInvalidCall, device->BeginScene());
    EXPECT_EQ(kInvalidCall, device->Present());
    EXPECT_EQ(kOk, device->EndScene());
    EXPECT_EQ(kOk, device->Present());
    EXPECT_EQ(1u, device->FramesPresented());

    GfxFailureInjection injection;
    injection.Fail("Present", kDeviceLost);
    EXPECT_EQ(kDeviceLost, device->Present());
    EXPECT_EQ(kDeviceLost, device->Present()); // stays lost without another injection
    EXPECT_EQ(kOk, device->BeginScene());
    EXPECT_EQ(kOk, device->EndScene());
    platform::testing::SetDeviceLost(*device, false);
    EXPECT_EQ(kOk, device->Present());
    EXPECT_EQ(2u, device->FramesPresented());
}

TEST(GfxDevice, PresentWaitsForTheRefreshItsIntervalAsksFor)
{
    constexpr int64_t k60 = 1'000'000'000 / 60;
    constexpr int64_t k75 = 1'000'000'000 / 75;
    struct Case {
        const char* name;
        uint32_t interval;
        bool windowed;
        uint32_t refreshRate;
        int64_t work;                 // time each frame takes before its Present
        std::vector<int64_t> waits;   // the refreshes waited for by the four Presents
    };
    const Case cases[] = {
        {"immediate runs free", kPresentIntervalImmediate, true, 0, 0, {}},
        {"one: every refresh of 60 Hz", kPresentIntervalOne, true, 0, 0, {k60, 2 * k60, 3 * k60}},
        {"default is one", kPresentIntervalDefault, true, 0, 1000, {k60, 2 * k60, 3 * k60, 4 * k60}},
        {"two: every other refresh", 2, true, 0, 0, {2 * k60, 4 * k60, 6 * k60}},
        {"four means three", 4, true, 0, 0, {3 * k60, 6 * k60, 9 * k60}},
        {"full screen at its own rate", kPresentIntervalOne, false, 75, 0, {k75, 2 * k75, 3 * k75}},
        // A frame of 1.5 refreshes goes to the refresh after it, not the one it missed.
        {"a late frame waits for the next refresh", kPresentIntervalOne, true, 0, k60 * 3 / 2,
         {2 * k60, 4 * k60, 6 * k60, 8 * k60}},
    };
    for (const Case& c : cases) {
        platform::testing::ScriptedRefreshClock clock;
        Direct3D* d3d = CreateDirect3D(kSdkVersion);
        PresentParameters parameters = gfx_test::EngineParameters(64, 32);
        parameters.presentationInterval = c.interval;
        parameters.windowed = c.windowed;
        parameters.fullScreenRefreshRate = c.refreshRate;
        Device* device = nullptr;
        ASSERT_EQ(kOk, d3d->CreateDevice(0, kDeviceHal, nullptr, kCreateHardwareVertexProcessing, &parameters, &device))
            << c.name;
        for (int frame = 0; frame < 4; ++frame) {
            clock.Advance(c.work);
            EXPECT_EQ(kOk, device->Present()) << c.name;
        }
        EXPECT_EQ(clock.Waits(), c.waits) << c.name;
        SafeRelease(device);
        SafeRelease(d3d);
    }
}

TEST(GfxDevice, PresentThatFailsNeverWaits)
{
    platform::testing::ScriptedRefreshClock clock;
    Direct3D* d3d = CreateDirect3D(kSdkVersion);
    PresentParameters parameters = gfx_test::EngineParameters(64, 32);
    parameters.presentationInterval = kPresentIntervalOne;
    Device* device = nullptr;
    ASSERT_EQ(kOk, d3d->CreateDevice(0, kDeviceHal, nullptr, kCreateHardwareVertexProcessing, &parameters, &device));
    EXPECT_EQ(kOk, device->BeginScene());
    EXPECT_EQ(kInvalidCall, device->Present()) << "inside a scene";
    EXPECT_EQ(kOk, device->EndScene());
    {
        GfxFailureInjection injection;
        injection.Fail("Present", kDeviceLost);
        EXPECT_EQ(kDeviceLost, device->Present());
    }
    EXPECT_EQ(kDeviceLost, device->Present());
    EXPECT_EQ(kDeviceLost, device->Present());
    EXPECT_TRUE(clock.Waits().empty()) << "a lost device answers at once";
    SafeRelease(device);
    SafeRelease(d3d);
}

TEST(GfxDevice, QueriesAnswerSupportAndGoPendingForConfiguredPolls)
{
    gfx_test::TestDevice test;
    EXPECT_EQ(kOk, test.device->CreateQuery(kQueryEvent, nullptr));
    EXPECT_EQ(kNotAvailable, test.device->CreateQuery(77, nullptr));
    GfxAdapterSettings adapter;
    adapter.SetQueryPendingPolls(2);
    GpuQuery* query = nullptr;
    ASSERT_EQ(kOk, test.device->CreateQuery(kQueryEvent, &query));
    uint32_t data = 0;
    EXPECT_EQ(kOk, query->Issue(kIssueEnd));
    EXPECT_EQ(kFalse, query->GetData(&data, 4, 0));
    EXPECT_EQ(kFalse, query->GetData(&data, 4, 0));
    EXPECT_EQ(kOk, query->GetData(&data, 4, 0));
    EXPECT_EQ(1u, data);
    EXPECT_EQ(kInvalidCall, query->GetData(&data, 2, 0));
    EXPECT_EQ(kInvalidCall, query->Issue(7));
    SafeRelease(query);
    adapter.SetQueries(false, false);
    EXPECT_EQ(kNotAvailable, test.device->CreateQuery(kQueryEvent, nullptr));
}

namespace {

uint32_t Texel32(Surface& surface, uint32_t x, uint32_t y)
{
    uint32_t value = 0;
    const auto bytes = platform::testing::SurfaceBytes(surface);
    std::memcpy(&value, bytes.data() + y * platform::testing::SurfacePitch(surface) + x * 4, 4);
    return value;
}

} // namespace

TEST(GfxDevice, ClearFillsOnlyTheViewportOfEveryBoundTarget)
{
    gfx_test::TestDevice test(8, 8);
    Device* device = test.device;
    Surface* back = nullptr;
    device->GetRenderTarget(0, &back);
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0x11223344, 1.0f, 0));
    const Viewport tile{2, 4, 4, 2, 0.0f, 1.0f};
    ASSERT_EQ(kOk, device->SetViewport(&tile));
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget, 0xFF00FF00, 1.0f, 0));
    for (uint32_t y = 0; y < 8; ++y) {
        for (uint32_t x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 4 && y < 6;
            EXPECT_EQ(inside ? 0xFF00FF00u : 0x11223344u, Texel32(*back, x, y)) << x << "," << y;
        }
    }
    // A rectangle narrows it further.
    const Rect rect{0, 0, 3, 8};
    ASSERT_EQ(kOk, device->Clear(1, &rect, kClearTarget, 0xAABBCCDD, 1.0f, 0));
    EXPECT_EQ(0xAABBCCDDu, Texel32(*back, 2, 4));
    EXPECT_EQ(0xFF00FF00u, Texel32(*back, 3, 4));
    EXPECT_EQ(0x11223344u, Texel32(*back, 1, 4));
    EXPECT_EQ(kInvalidCall, device->Clear(1, nullptr, kClearTarget, 0, 1.0f, 0));
    back->Release();
}

TEST(GfxDevice, ClearWritesFloatTargetsAndDepthWithoutLosingStencil)
{
    gfx_test::TestDevice test(8, 8);
    Device* device = test.device;
    Texture* atlas = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(4, 4, 1, kUsageRenderTarget, kFormatG32R32F, kPoolDefault, &atlas));
    Surface* colour = nullptr;
    atlas->GetSurfaceLevel(0, &colour);
    Surface* depth = nullptr;
    ASSERT_EQ(kOk, device->CreateDepthStencilSurface(4, 4, kFormatD24S8, 0, 0, true, &depth));
    EXPECT_EQ(kInvalidCall, device->Clear(0, nullptr, kClearZBuffer, 0, 1.0f, 0)); // no depth surface bound
    device->SetRenderTarget(0, colour);
    device->SetDepthStencilSurface(depth);

    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearTarget | kClearZBuffer | kClearStencil, 0xFFFFFFFF, 1.0f, 0x5A));
    float texel[2];
    std::memcpy(texel, platform::testing::SurfaceBytes(*colour).data(), sizeof texel);
    EXPECT_EQ(1.0f, texel[0]);
    EXPECT_EQ(1.0f, texel[1]);
    EXPECT_EQ(0xFFFFFF5Au, Texel32(*depth, 3, 3));
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearZBuffer, 0, 0.0f, 0));
    EXPECT_EQ(0x0000005Au, Texel32(*depth, 3, 3)); // stencil kept
    ASSERT_EQ(kOk, device->Clear(0, nullptr, kClearStencil, 0, 1.0f, 0x07));
    EXPECT_EQ(0x00000007u, Texel32(*depth, 0, 0)); // depth kept

    Surface* noStencil = nullptr;
    ASSERT_EQ(kOk, device->CreateDepthStencilSurface(4, 4, kFormatD24X8, 0, 0, true, &noStencil));
    device->SetDepthStencilSurface(noStencil);
    EXPECT_EQ(kInvalidCall, device->Clear(0, nullptr, kClearStencil, 0, 1.0f, 0));
    EXPECT_EQ(kOk, device->Clear(0, nullptr, kClearZBuffer, 0, 1.0f, 0));

    device->SetDepthStencilSurface(nullptr);
    SafeRelease(noStencil);
    SafeRelease(depth);
    SafeRelease(colour);
    SafeRelease(atlas);
}

TEST(GfxDevice, ReleasingTheDeviceLeavesWhatTheEngineStillHoldsUsable)
{
    Direct3D* d3d = CreateDirect3D(kSdkVersion);
    PresentParameters parameters = gfx_test::EngineParameters(16, 16);
    Device* device = nullptr;
    ASSERT_EQ(kOk, d3d->CreateDevice(0, kDeviceHal, nullptr, kCreateHardwareVertexProcessing, &parameters, &device));
    Surface* depth = nullptr;
    ASSERT_EQ(kOk, device->CreateDepthStencilSurface(16, 16, kFormatD24S8, 0, 0, true, &depth));
    Texture* texture = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(4, 4, 1, 0, kFormatA8R8G8B8, kPoolSystemMem, &texture));
    Surface* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    texture->Release();
    VertexBuffer* buffer = nullptr;
    ASSERT_EQ(kOk, device->CreateVertexBuffer(64, kUsageWriteOnly, 0, kPoolDefault, &buffer));
    EXPECT_EQ(4u, platform::testing::LiveObjects(*device)); // with the back buffer
    SafeRelease(buffer);
    EXPECT_EQ(3u, platform::testing::LiveObjects(*device));
    EXPECT_EQ(0u, device->Release());
    EXPECT_EQ(2u, platform::testing::LeakedAtLastDeviceRelease());
    EXPECT_EQ(nullptr, depth->GetDevice());
    EXPECT_EQ(nullptr, level->GetDevice());
    LockedRect locked;
    EXPECT_EQ(kOk, level->LockRect(&locked, nullptr, 0)); // still real memory
    static_cast<uint8_t*>(locked.bits)[0] = 1;
    level->UnlockRect();
    EXPECT_EQ(0u, level->Release());
    EXPECT_EQ(0u, depth->Release());
    SafeRelease(d3d);
}

TEST(GfxDevice, CallRecordKeepsNamesArgumentsAndResults)
{
    gfx_test::TestDevice test;
    GfxCallRecord record;
    test.device->SetRenderState(kRsZWriteEnable, 0);
    test.device->BeginScene();
    test.device->BeginScene();
    const auto calls = record.Calls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ("SetRenderState", calls[0].name);
    EXPECT_EQ((std::vector<uint64_t>{kRsZWriteEnable, 0}), calls[0].args);
    EXPECT_EQ(kOk, calls[0].result);
    EXPECT_EQ(kInvalidCall, calls[2].result);
    EXPECT_EQ(2u, record.Count("BeginScene"));
    record.Clear();
    EXPECT_TRUE(record.Calls().empty());
}

TEST(GfxDevice, ClipPlanesAreKeptAndRecordedWithTheirValues)
{
    gfx_test::TestDevice test;
    GfxCallRecord record;
    const float plane[4] = {0.0f, 1.0f, 0.0f, -2.5f};
    ASSERT_EQ(kOk, test.device->SetClipPlane(1, plane));
    float back[4] = {};
    ASSERT_EQ(kOk, test.device->GetClipPlane(1, back));
    EXPECT_EQ(-2.5f, back[3]);
    EXPECT_EQ(kOk, test.device->SetRenderState(kRsClipPlaneEnable, 2));
    EXPECT_EQ(kInvalidCall, test.device->SetClipPlane(6, plane));
    EXPECT_EQ(kInvalidCall, test.device->SetClipPlane(0, nullptr));
    const auto calls = record.Calls("SetClipPlane");
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ((std::vector<float>{0.0f, 1.0f, 0.0f, -2.5f}), calls[0].floats);
    EXPECT_EQ(1u, calls[0].args[0]);
}
