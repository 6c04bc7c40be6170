#include <gtest/gtest.h>

#include "platform/gfx/device/adapter_memory.h"
#include "platform/gfx/device/direct_draw.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/line.h"
#include "platform/gfx/device/stereo_driver.h"
#include "testing/gfx_adapter_settings.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

using namespace gfx;
using platform::testing::GfxAdapterSettings;
using platform::testing::GfxFailureInjection;

namespace {

// Used video memory as the engine reads it: total minus free.
uint32_t Busy(DirectDraw7& directDraw)
{
    const SurfaceCaps caps{kSurfaceCapsVideoMemory | kSurfaceCapsLocalVideoMemory | kSurfaceCapsNonLocalVideoMemory};
    uint32_t total = 0, free = 0;
    EXPECT_EQ(kOk, directDraw.GetAvailableVidMem(&caps, &total, &free));
    return total - free;
}

struct DirectDrawPair {
    DirectDrawPair()
    {
        EXPECT_EQ(kOk, CreateDirectDraw(&directDraw));
        EXPECT_EQ(kOk, directDraw->QueryDirectDraw7(&directDraw7));
    }
    ~DirectDrawPair()
    {
        SafeRelease(directDraw7);
        SafeRelease(directDraw);
    }
    DirectDraw* directDraw = nullptr;
    DirectDraw7* directDraw7 = nullptr;
};

} // namespace

TEST(GfxVideoMemory, EveryDefaultPoolCreationAndReleaseMovesTheFigure)
{
    GfxAdapterSettings adapter;
    DirectDrawPair ddraw;
    const uint32_t start = Busy(*ddraw.directDraw7);
    uint32_t before = start;
    {
        gfx_test::TestDevice test(100, 50);
        // Three back buffers of 4 bytes a texel.
        EXPECT_EQ(3u * 100 * 50 * 4, Busy(*ddraw.directDraw7) - before);
        before = Busy(*ddraw.directDraw7);

        Texture* texture = nullptr;
        ASSERT_EQ(kOk, test.device->CreateTexture(64, 64, 0, 0, kFormatA8R8G8B8, kPoolDefault, &texture));
        uint32_t chain = 0;
        for (uint32_t side = 64; side >= 1; side /= 2) chain += side * side * 4;
        EXPECT_EQ(chain, Busy(*ddraw.directDraw7) - before);
        Texture* staging = nullptr;
        ASSERT_EQ(kOk, test.device->CreateTexture(64, 64, 0, 0, kFormatA8R8G8B8, kPoolSystemMem, &staging));
        EXPECT_EQ(chain, Busy(*ddraw.directDraw7) - before); // system memory is not video memory
        SafeRelease(staging);
        SafeRelease(texture);
        EXPECT_EQ(before, Busy(*ddraw.directDraw7));

        Surface* target = nullptr;
        ASSERT_EQ(kOk, test.device->CreateRenderTarget(32, 32, kFormatA8R8G8B8, 4, 0, false, &target));
        EXPECT_EQ(32u * 32 * 4 * 4, Busy(*ddraw.directDraw7) - before); // four samples a texel
        SafeRelease(target);
        VertexBuffer* vertices = nullptr;
        IndexBuffer* indices = nullptr;
        ASSERT_EQ(kOk, test.device->CreateVertexBuffer(1000, kUsageWriteOnly, 0, kPoolDefault, &vertices));
        ASSERT_EQ(kOk, test.device->CreateIndexBuffer(600, kUsageWriteOnly, kFormatIndex16, kPoolDefault, &indices));
        EXPECT_EQ(1600u, Busy(*ddraw.directDraw7) - before);
        SafeRelease(vertices);
        SafeRelease(indices);
        EXPECT_EQ(before, Busy(*ddraw.directDraw7));
    }
    EXPECT_EQ(start, Busy(*ddraw.directDraw7));
}

TEST(GfxVideoMemory, ASmallTotalRunsOutAndFailuresTakeNothing)
{
    GfxAdapterSettings adapter;
    gfx_test::TestDevice test(16, 16);
    adapter.SetVideoMemoryTotal(VideoMemoryUsed() + 5000);
    DirectDrawPair ddraw;
    uint32_t total = 0;
    const SurfaceCaps caps{kSurfaceCapsVideoMemory};
    ASSERT_EQ(kOk, ddraw.directDraw7->GetAvailableVidMem(&caps, &total, nullptr));
    EXPECT_EQ(VideoMemoryUsed() + 5000, total);
    const uint64_t used = VideoMemoryUsed();

    Texture* texture = reinterpret_cast<Texture*>(1);
    EXPECT_EQ(kOutOfVideoMemory, test.device->CreateTexture(64, 64, 1, 0, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(nullptr, texture);
    EXPECT_EQ(used, VideoMemoryUsed());
    VertexBuffer* buffer = nullptr;
    EXPECT_EQ(kOk, test.device->CreateVertexBuffer(4000, 0, 0, kPoolDefault, &buffer));
    VertexBuffer* second = nullptr;
    EXPECT_EQ(kOutOfVideoMemory, test.device->CreateVertexBuffer(4000, 0, 0, kPoolDefault, &second));
    EXPECT_EQ(kOk, test.device->CreateVertexBuffer(4000, 0, 0, kPoolSystemMem, &second));
    SafeRelease(second);
    SafeRelease(buffer);
    EXPECT_EQ(used, VideoMemoryUsed());
}

TEST(GfxVideoMemory, DirectDrawCallsCanBeMadeToFail)
{
    GfxFailureInjection injection;
    injection.Fail("CreateDirectDraw", kFail);
    DirectDraw* directDraw = reinterpret_cast<DirectDraw*>(1);
    EXPECT_EQ(kFail, CreateDirectDraw(&directDraw));
    EXPECT_EQ(nullptr, directDraw);
    ASSERT_EQ(kOk, CreateDirectDraw(&directDraw));
    injection.Fail("QueryDirectDraw7", kNoInterface);
    DirectDraw7* directDraw7 = nullptr;
    EXPECT_EQ(kNoInterface, directDraw->QueryDirectDraw7(&directDraw7));
    ASSERT_EQ(kOk, directDraw->QueryDirectDraw7(&directDraw7));
    // The second reading fails, the first and third work.
    injection.Fail("GetAvailableVidMem", kInvalidArgument, 1, 1);
    const SurfaceCaps caps{kSurfaceCapsVideoMemory};
    uint32_t total = 0, free = 0;
    EXPECT_EQ(kOk, directDraw7->GetAvailableVidMem(&caps, &total, &free));
    EXPECT_EQ(kInvalidArgument, directDraw7->GetAvailableVidMem(&caps, &total, &free));
    EXPECT_EQ(kOk, directDraw7->GetAvailableVidMem(&caps, &total, &free));
    EXPECT_EQ(kInvalidArgument, directDraw7->GetAvailableVidMem(nullptr, &total, &free));
    SafeRelease(directDraw7);
    SafeRelease(directDraw);
}

TEST(GfxVideoMemory, InjectionCountsSkipsAndRepeats)
{
    gfx_test::TestDevice test;
    GfxFailureInjection injection;
    injection.Fail("BeginScene", kDeviceLost, 0, 2); // every call after two that pass
    EXPECT_EQ(kOk, test.device->BeginScene());
    EXPECT_EQ(kOk, test.device->EndScene());
    EXPECT_EQ(kInvalidCall, test.device->EndScene());
    EXPECT_EQ(kOk, test.device->BeginScene());
    test.device->EndScene();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kDeviceLost, test.device->BeginScene());
    injection.Clear();
    EXPECT_EQ(kOk, test.device->BeginScene());
    test.device->EndScene();
}

TEST(GfxResult, EveryCodeTheLayerReturnsHasItsOwnText)
{
    const Result codes[] = {kOk, kFalse, kFail, kNoInterface, kOutOfMemory, kInvalidArgument, kOutOfVideoMemory,
                            kNotFound, kDeviceLost, kNotAvailable, kInvalidCall, kInvalidData};
    std::set<std::string> texts;
    for (Result code : codes) {
        const std::string text = DescribeResult(code);
        EXPECT_NE("Unknown error", text) << code;
        texts.insert(text);
    }
    EXPECT_EQ(std::size(codes), texts.size());
    EXPECT_STREQ("Invalid call", DescribeResult(kInvalidCall));
    EXPECT_STREQ("Out of video memory", DescribeResult(kOutOfVideoMemory));
    EXPECT_STREQ("Unknown error", DescribeResult(0x12345));
    EXPECT_EQ(static_cast<int32_t>(0x8876086Cu), kInvalidCall);
    EXPECT_TRUE(Failed(kDeviceLost));
    EXPECT_TRUE(Succeeded(kFalse));
}

TEST(GfxStereo, TheDriverIsAbsentSoEveryCallFailsAsWithoutIt)
{
    platform::testing::GfxCallRecord record;
    EXPECT_FALSE(stereo::DriverPresent());
    EXPECT_EQ(stereo::kLibraryNotFound, stereo::Initialize());
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::CreateConfigurationProfileRegistryKey(stereo::kDefaultProfile));
    const float convergence = 2.5f;
    EXPECT_EQ(stereo::kApiNotInitialized,
              stereo::SetConfigurationProfileValue(stereo::kDefaultProfile, stereo::kConvergenceValue, &convergence));
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::Enable());
    int device = 0;
    stereo::Handle handle = &device;
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::CreateHandleFromDevice(&device, &handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::Activate(handle));
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::SetConvergence(handle, 1.0f));
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::SetSeparation(handle, 50.0f));
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::Deactivate(handle));
    EXPECT_EQ(stereo::kApiNotInitialized, stereo::DestroyHandle(handle));
    EXPECT_EQ(10u, record.Calls().size());
    EXPECT_EQ(2.5f, record.Calls("Stereo::SetConfigurationProfileValue")[0].floats[0]);

    // Tests may script the driver call by call.
    GfxFailureInjection script;
    script.Fail("Stereo::Initialize", stereo::kOk);
    script.Fail("Stereo::CreateHandleFromDevice", stereo::kOk);
    script.Fail("Stereo::CreateConfigurationProfileRegistryKey", stereo::kRegistryProfileTypeNotSupported);
    EXPECT_EQ(stereo::kOk, stereo::Initialize());
    EXPECT_EQ(stereo::kRegistryProfileTypeNotSupported, stereo::CreateConfigurationProfileRegistryKey(0));
    EXPECT_EQ(stereo::kOk, stereo::CreateHandleFromDevice(&device, &handle));
    EXPECT_NE(nullptr, handle);
}

TEST(GfxLine, ALineObjectIsMadeForADeviceAndReleased)
{
    gfx_test::TestDevice test;
    Line* line = nullptr;
    ASSERT_EQ(kOk, CreateLine(test.device, &line));
    ASSERT_NE(nullptr, line);
    EXPECT_EQ(0u, line->Release());
    EXPECT_EQ(kInvalidCall, CreateLine(nullptr, &line));
    EXPECT_EQ(nullptr, line);
}
