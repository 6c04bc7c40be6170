// The render-state cache: only changes reach the device, starting from the
// device's real values; the clip-plane pseudo-state; the cached setters.
#include <gtest/gtest.h>

#include "platform/gfx/device/render_state.h"
#include "render/device/render_state_cache.h"
#include "render/device/video_memory.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/device_fixture.h"

using render_test::DeviceRun;

namespace {

class StateCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        run.ClearOut();
    }

    gfx::Device* D() { return run.Device(); }

    uint32_t DeviceState(uint32_t state)
    {
        uint32_t value = 0;
        D()->GetRenderState(state, &value);
        return value;
    }

    DeviceRun run;
};

// Only the inverse view-projection of the camera matrices changes.
void SetInvViewProj(const float4x4* matrix)
{
    CameraMatrices matrices = GetRenderer()->Frame().Camera();
    matrices.invViewProj = matrix;
    GetRenderer()->Frame().SetCamera(matrices);
}

uintptr_t Address(const float* plane)
{
    return reinterpret_cast<uintptr_t>(plane);
}

} // namespace

TEST_F(StateCache, StartsFromTheDeviceAndSendsOnlyChanges)
{
    RenderStateCache cache;
    EXPECT_EQ(cache.CachedValue(gfx::kRsZWriteEnable), 1u);
    EXPECT_EQ(cache.CachedValue(gfx::kRsColorWriteEnable), gfx::kColorWriteAll);
    EXPECT_EQ(cache.CachedValue(gfx::kRsZFunc), gfx::kCompareLessEqual);
    EXPECT_EQ(cache.CachedValue(gfx::kRsCullMode), gfx::kCullCounterClockwise);

    platform::testing::GfxCallRecord record;
    cache.SetCachedState(gfx::kRsFogEnable, 0); // what the device holds already
    cache.SetCachedState(gfx::kRsZWriteEnable, 1);
    EXPECT_EQ(record.Count("SetRenderState"), 0u);

    cache.SetCachedState(gfx::kRsFogEnable, 1);
    cache.SetCachedState(gfx::kRsZWriteEnable, 0); // a state the device starts with on
    cache.SetCachedState(gfx::kRsColorWriteEnable, 0);
    cache.SetCachedState(gfx::kRsZWriteEnable, 0);
    cache.SetCachedState(gfx::kRsColorWriteEnable, 0);
    EXPECT_EQ(record.Count("SetRenderState"), 3u);
    EXPECT_EQ(DeviceState(gfx::kRsZWriteEnable), 0u);
    EXPECT_EQ(DeviceState(gfx::kRsColorWriteEnable), 0u);
    EXPECT_EQ(DeviceState(gfx::kRsFogEnable), 1u);

    // Restoring the device's own starting value reaches it again.
    cache.SetCachedState(gfx::kRsColorWriteEnable, gfx::kColorWriteAll);
    EXPECT_EQ(DeviceState(gfx::kRsColorWriteEnable), gfx::kColorWriteAll);
    EXPECT_EQ(run.Out(), "");
}

TEST_F(StateCache, AFailedSetIsPrintedAndStillRemembered)
{
    RenderStateCache cache;
    platform::testing::GfxFailureInjection inject;
    platform::testing::GfxCallRecord record;
    inject.Fail("SetRenderState", gfx::kInvalidCall);
    cache.SetCachedState(gfx::kRsAlphaBlendEnable, 1);
    EXPECT_EQ(GetRenderer()->LastResult(), gfx::kInvalidCall);
    EXPECT_EQ(run.Out(), "SetRenderState failed.\n");
    EXPECT_EQ(cache.CachedValue(gfx::kRsAlphaBlendEnable), 1u);
    cache.SetCachedState(gfx::kRsAlphaBlendEnable, 1);
    EXPECT_EQ(record.Count("SetRenderState"), 1u);
}

TEST_F(StateCache, AClipPlaneGoesOnThroughTheInverseViewProjectionAndOffAgain)
{
    RenderStateCache cache;
    const float4x4 identity = IdentityMatrix();
    SetInvViewProj(&identity);
    float plane[4] = {0.0f, 1.0f, 0.0f, -2.0f};
    platform::testing::GfxCallRecord record;

    cache.SetCachedState(kClipPlaneState, Address(plane));
    auto planes = record.Calls("SetClipPlane");
    ASSERT_EQ(planes.size(), 1u);
    EXPECT_EQ(planes[0].args.at(0), 1u);
    EXPECT_EQ(planes[0].floats, (std::vector<float>{0.0f, 1.0f, 0.0f, -2.0f}));
    EXPECT_EQ(DeviceState(gfx::kRsClipPlaneEnable), 2u);

    // The same pointer is no change, whatever it points at now.
    plane[3] = 7.0f;
    cache.SetCachedState(kClipPlaneState, Address(plane));
    EXPECT_EQ(record.Count("SetClipPlane"), 1u);

    cache.SetCachedState(kClipPlaneState, 0);
    EXPECT_EQ(DeviceState(gfx::kRsClipPlaneEnable), 0u);
    EXPECT_EQ(record.Count("SetClipPlane"), 1u);
    float kept[4] = {};
    D()->GetClipPlane(1, kept);
    EXPECT_EQ(kept[3], -2.0f); // the plane stays
    SetInvViewProj(nullptr);
}

TEST_F(StateCache, ThePlaneIsCarriedByTheColumnsOfTheMatrix)
{
    float4x4 m = IdentityMatrix();
    m(0, 1) = 2.0f; // row 0 = (1, 2, 0, 0)
    m(3, 2) = 5.0f; // row 3 = (0, 0, 5, 1)
    SetInvViewProj(&m);
    const float plane[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    GetRenderer()->Frame().SetRenderStateCached(kClipPlaneState, Address(plane));
    const float4& p = GetRenderer()->Frame().ClipPlane();
    EXPECT_EQ(p.x, 3.0f); // row j of M dotted with the plane
    EXPECT_EQ(p.y, 1.0f);
    EXPECT_EQ(p.z, 1.0f);
    EXPECT_EQ(p.w, 6.0f);
    EXPECT_EQ(GetRenderer()->Frame().ClipMatrix()(1, 0), 2.0f); // the transpose
    EXPECT_EQ(GetRenderer()->Frame().ClipMatrix()(2, 3), 5.0f);
    SetInvViewProj(nullptr);
}

TEST_F(StateCache, TogglesAndBindingSettersApplyOnlyNewNonNullValues)
{
    platform::testing::GfxCallRecord record;
    RenderStateToggle colourWrite(gfx::kRsColorWriteEnable);
    colourWrite.Update(1);
    EXPECT_EQ(DeviceState(gfx::kRsColorWriteEnable), 0xFFFFFFFFu);
    colourWrite.Update(1);
    colourWrite.Update(0);
    EXPECT_EQ(record.Count("SetRenderState"), 1u);
    colourWrite.Update(2);
    EXPECT_EQ(DeviceState(gfx::kRsColorWriteEnable), 0u);

    gfx::IndexBuffer* indices = nullptr;
    ASSERT_TRUE(GetRenderer()->Resources().CreateIndexBuffer(&indices, 3, 2, 0));
    IndicesSetter setIndices;
    setIndices.Update(reinterpret_cast<uintptr_t>(indices));
    setIndices.Update(reinterpret_cast<uintptr_t>(indices));
    EXPECT_EQ(record.Count("SetIndices"), 1u);
    gfx::IndexBuffer* bound = nullptr;
    D()->GetIndices(&bound);
    EXPECT_EQ(bound, indices);
    bound->Release();

    platform::testing::GfxFailureInjection inject;
    inject.Fail("SetIndices", gfx::kInvalidCall);
    inject.Fail("SetVertexDeclaration", gfx::kInvalidCall);
    setIndices.Apply(0);
    VertexDeclSetter setDeclaration;
    setDeclaration.Update(1);
    EXPECT_EQ(run.Out(), "SetIndices error.\nSetVertexDeclaration failed.\n");
    D()->SetIndices(nullptr);
    ReleaseVideoResource(indices);
}

TEST_F(StateCache, TheClipPlaneToggleOnlySwitchesItOff)
{
    const float4x4 identity = IdentityMatrix();
    SetInvViewProj(&identity);
    const float plane[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    GetRenderer()->Frame().SetRenderStateCached(kClipPlaneState, Address(plane));
    RenderStateToggle clip(kClipPlaneState);
    platform::testing::GfxCallRecord record;
    clip.Apply(1);
    EXPECT_EQ(record.Count("SetRenderState"), 0u);
    clip.Apply(2);
    EXPECT_EQ(DeviceState(gfx::kRsClipPlaneEnable), 0u);
    SetInvViewProj(nullptr);
}
