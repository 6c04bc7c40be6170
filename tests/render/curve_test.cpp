// Curves: evaluation between keys (linear and smooth, at and beyond the ends,
// unknown modes, missing keys), the sampler's blending and weights, and
// curves baked into one-row float textures read back from the device.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/world/curve.h"
#include "render/world/curve_texture.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "testing/message_box_script.h"
#include "tests/render/device_fixture.h"
#include "tests/render/texture_texels.h"

namespace {

void ExpectValue(const float4& value, float x, float y, float z, float w)
{
    EXPECT_EQ(value.x, x);
    EXPECT_EQ(value.y, y);
    EXPECT_EQ(value.z, z);
    EXPECT_EQ(value.w, w);
}

// Keys (0, 0, 0, 0) at 0 and (1, 2, 3, 4) at 1.
void Ramp(CurveResource& curve, uint8_t mode)
{
    const float4 values[] = {{0, 0, 0, 0}, {1, 2, 3, 4}};
    const float times[] = {0.0f, 1.0f};
    BuildCurve(curve, values, times, mode);
}

// Keys at 0, 1 and 3.
void ThreeKeys(CurveResource& curve, uint8_t mode = curve_mode::kLinear)
{
    const float4 values[] = {{10, 20, 30, 40}, {-2, 0, 2, 4}, {8, 8, 8, 8}};
    const float times[] = {0.0f, 1.0f, 3.0f};
    BuildCurve(curve, values, times, mode);
}

TEST(Curves, KeysAreStoredWithTheirTimesNegated)
{
    CurveResource curve;
    ThreeKeys(curve);
    const CurveData* data = curve.GetPayload();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(curve.GetState(), resource_state::kLoaded);
    EXPECT_EQ(data->keyCount, 3u);
    EXPECT_EQ(data->keyTimes, (std::vector<float>{-0.0f, -1.0f, -3.0f}));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data->keyValues.data()) % 16, 0u);
}

TEST(Curves, LinearAndSmoothInterpolateBetweenTheKeysAroundT)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kLinear);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.25f), 0.25f, 0.5f, 0.75f, 1.0f);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.5f), 0.5f, 1.0f, 1.5f, 2.0f);

    Ramp(curve, curve_mode::kSmooth);
    // s = (3 - 0.5) x 0.0625
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.25f), 0.15625f, 0.3125f, 0.46875f, 0.625f);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.5f), 0.5f, 1.0f, 1.5f, 2.0f);

    ThreeKeys(curve);
    // Between the second and third key: f = (2 - 1) / (3 - 1).
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 2.0f), 3.0f, 4.0f, 5.0f, 6.0f);
}

TEST(Curves, AtAKeysOwnTimeTheValueIsThatKey)
{
    CurveResource curve;
    ThreeKeys(curve, curve_mode::kSmooth);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.0f), 10, 20, 30, 40);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 1.0f), -2, 0, 2, 4);
}

TEST(Curves, OutsideTheKeysTheNearestEndKeyStands)
{
    CurveResource curve;
    ThreeKeys(curve);
    const CurveData& data = *curve.GetPayload();
    ExpectValue(EvaluateCurveAt(data, 3.0f), 8, 8, 8, 8);
    ExpectValue(EvaluateCurveAt(data, 100.0f), 8, 8, 8, 8);
    ExpectValue(EvaluateCurveAt(data, NAN), 10, 20, 30, 40);

    // A first key after t: no span to divide by.
    const float4 late[] = {{1, 1, 1, 1}, {5, 5, 5, 5}};
    const float lateTimes[] = {2.0f, 4.0f};
    BuildCurve(curve, late, lateTimes, curve_mode::kLinear);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.5f), 1, 1, 1, 1);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 3.0f), 3, 3, 3, 3);

    const float4 one[] = {{7, 6, 5, 4}};
    const float oneTime[] = {0.0f};
    BuildCurve(curve, one, oneTime, curve_mode::kSmooth);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.0f), 7, 6, 5, 4);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.5f), 7, 6, 5, 4);
}

TEST(Curves, UnknownModesAndMissingKeysGiveZero)
{
    CurveResource curve;
    for (uint8_t mode : {0, 1, 3, 5, 255}) {
        Ramp(curve, mode);
        ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.5f), 0, 0, 0, 0);
    }
    BuildCurve(curve, {}, {}, curve_mode::kLinear);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 0.0f), 0, 0, 0, 0);

    // A key count beyond the arrays reads only the keys there are.
    ThreeKeys(curve);
    curve.GetPayload()->keyCount = 50;
    EXPECT_EQ(UsableKeyCount(*curve.GetPayload()), 3u);
    ExpectValue(EvaluateCurveAt(*curve.GetPayload(), 10.0f), 8, 8, 8, 8);
}

TEST(CurveSamplers, LaterCurvesBlendByWeightAndTheFirstWeightIsNeverUsed)
{
    CurveResource a, b;
    const float4 aValue[] = {{1, 2, 3, 4}, {1, 2, 3, 4}};
    const float4 bValue[] = {{5, 10, 15, 20}, {5, 10, 15, 20}};
    const float times[] = {0.0f, 1.0f};
    BuildCurve(a, aValue, times, curve_mode::kLinear);
    BuildCurve(b, bValue, times, curve_mode::kLinear);

    CurveSampler sampler;
    float4 first, second;
    sampler.outputs = {&first, &second};
    sampler.curves[2] = &b;
    sampler.curves[1] = &a;
    sampler.weights[2] = 0.25f;
    for (float weightOfFirst : {0.0f, 1.0f, 0.5f}) {
        sampler.weights[1] = weightOfFirst;
        sampler.EvaluateCurve(0.5f);
        ExpectValue(first, 2, 4, 6, 8); // a + 0.25 (b - a)
        ExpectValue(second, 2, 4, 6, 8);
    }

    // A curve without weight counts 0 (and gets its entry).
    CurveSampler unweighted;
    float4 out;
    unweighted.outputs = {&out};
    unweighted.curves[1] = &a;
    unweighted.curves[7] = &b;
    unweighted.EvaluateCurve(0.5f);
    ExpectValue(out, 1, 2, 3, 4);
    EXPECT_EQ(unweighted.weights.count(7), 1u);

    // A handle with no block is a zero curve; no curves at all give zero.
    CurveResource empty;
    unweighted.curves[0] = &empty;
    unweighted.EvaluateCurve(0.5f);
    ExpectValue(out, 0, 0, 0, 0);
    CurveSampler none;
    out = {9, 9, 9, 9};
    none.outputs = {&out};
    none.EvaluateCurve(0.5f);
    ExpectValue(out, 0, 0, 0, 0);
}

TEST(CurveSamplers, SettingAWeightScalesTheOthers)
{
    CurveResource a, b;
    CurveSampler sampler;
    sampler.curves = {{1, &a}, {2, &b}};
    sampler.weights = {{1, 1.0f}, {2, 0.5f}};
    sampler.SetCurveWeight(2, 0.25f);
    EXPECT_EQ(sampler.weights, (std::map<uint32_t, float>{{1, 0.75f}, {2, 0.25f}}));

    // An id with no curve sets nothing of its own; the others still scale.
    sampler.SetCurveWeight(9, 0.5f);
    EXPECT_EQ(sampler.weights, (std::map<uint32_t, float>{{1, 0.375f}, {2, 0.125f}}));
}

// ---- Baking ----

class CurveTextures : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        run.ClearOut();
        run.ClearBoxes();
    }

    static uint32_t Width(TextureResource& texture)
    {
        gfx::SurfaceDesc desc;
        static_cast<gfx::Texture*>(texture.GetPayload()->texture)->GetLevelDesc(0, &desc);
        return desc.width;
    }

    render_test::DeviceRun run;
};

TEST_F(CurveTextures, ALinearCurveBakesToItsSamplesFromTimeZero)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kLinear);
    TextureResource map;
    const size_t liveBefore = platform::testing::LiveObjects(*run.Device());
    platform::testing::GfxCallRecord record;
    BakeCurveTexture(&curve, &map, 32.0f);

    ASSERT_NE(map.GetPayload(), nullptr);
    gfx::BaseTexture* texture = map.GetPayload()->texture;
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(map.GetState(), resource_state::kLoaded);
    EXPECT_EQ(texture->Format(), gfx::kFormatA32B32G32R32F);
    EXPECT_EQ(texture->GetPool(), gfx::kPoolDefault);
    EXPECT_EQ(texture->GetUsage(), gfx::kUsageRenderTarget);
    EXPECT_EQ(Width(map), 32u);
    const std::vector<float4> texels = Texels(map);
    ASSERT_EQ(texels.size(), 32u);
    for (uint32_t i = 0; i < 32; ++i) {
        SCOPED_TRACE(i);
        const float f = static_cast<float>(i) / 32.0f;
        ExpectValue(texels[i], f, 2 * f, 3 * f, 4 * f); // the last key's own time is never sampled
    }

    // Staging in system memory, filled, copied, and gone again.
    const std::vector<std::string> names = record.Names();
    std::vector<std::string> steps;
    for (const std::string& name : names)
        if (name == "CreateTexture" || name == "LockRect" || name == "UnlockRect" || name == "UpdateTexture")
            steps.push_back(name);
    EXPECT_EQ(steps, (std::vector<std::string>{"CreateTexture", "LockRect", "UnlockRect", "CreateTexture",
                                               "UpdateTexture"}));
    const std::vector<platform::testing::GfxCall> creations = record.Calls("CreateTexture");
    ASSERT_EQ(creations.size(), 2u);
    EXPECT_EQ(creations[0].args[1], 0u);
    EXPECT_EQ(creations[0].args[2], uint64_t{gfx::kFormatA32B32G32R32F});
    EXPECT_EQ(creations[0].args[3], uint64_t{gfx::kPoolSystemMem});
    EXPECT_EQ(creations[1].args[1], uint64_t{gfx::kUsageRenderTarget});
    EXPECT_EQ(creations[1].args[3], uint64_t{gfx::kPoolDefault});
    // The destination's texture stays; the staging texture is released.
    EXPECT_EQ(platform::testing::LiveObjects(*run.Device()), liveBefore + 1);
    EXPECT_EQ(run.Renderer()->Targets().CurrentTarget(), &map.GetPayload()->target);
    EXPECT_TRUE(run.Boxes().empty());
}

TEST_F(CurveTextures, SmoothCurvesUnknownModesAndEmptyCurvesBake)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kSmooth);
    TextureResource smooth;
    BakeCurveTexture(&curve, &smooth, 32.0f);
    std::vector<float4> texels = Texels(smooth);
    ASSERT_EQ(texels.size(), 32u);
    ExpectValue(texels[8], 0.15625f, 0.3125f, 0.46875f, 0.625f);

    Ramp(curve, 3);
    TextureResource zero;
    BakeCurveTexture(&curve, &zero, 32.0f);
    texels = Texels(zero);
    ASSERT_EQ(texels.size(), 32u);
    for (const float4& texel : texels)
        ExpectValue(texel, 0, 0, 0, 0);

    // No keys: there is no last key time, so every texel is the zero curve.
    BuildCurve(curve, {}, {}, curve_mode::kLinear);
    TextureResource keyless;
    BakeCurveTexture(&curve, &keyless, 4.0f);
    texels = Texels(keyless);
    ASSERT_EQ(texels.size(), 4u);
    for (const float4& texel : texels)
        ExpectValue(texel, 0, 0, 0, 0);
    EXPECT_TRUE(run.Boxes().empty());
}

TEST_F(CurveTextures, AWidthThatIsNoWholeNumberStaysInsideTheRow)
{
    CurveResource curve;
    ThreeKeys(curve);
    TextureResource map;
    BakeCurveTexture(&curve, &map, 6.5f);
    EXPECT_EQ(Width(map), 6u);
    const std::vector<float4> texels = Texels(map);
    ASSERT_EQ(texels.size(), 6u);
    // step = 3 / 6.5
    const float step = 3.0f / 6.5f;
    float t = 0.0f;
    for (uint32_t i = 0; i < 6; ++i, t += step) {
        const float4 expected = EvaluateCurveAt(*curve.GetPayload(), t);
        ExpectValue(texels[i], expected.x, expected.y, expected.z, expected.w);
    }
    EXPECT_TRUE(run.Boxes().empty());
}

TEST_F(CurveTextures, TheSampleTimeIsAccumulatedStepByStep)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kLinear);
    TextureResource map;
    BakeCurveTexture(&curve, &map, 10.0f);
    const std::vector<float4> texels = Texels(map);
    ASSERT_EQ(texels.size(), 10u);
    // On the ramp a texel's x is its sample time: the sum of the steps before
    // it, which for some texels is not i x step.
    const float step = 1.0f / 10.0f;
    float t = 0.0f;
    int apart = 0;
    for (uint32_t i = 0; i < 10; ++i, t += step) {
        EXPECT_EQ(texels[i].x, t) << i;
        apart += texels[i].x != static_cast<float>(i) * step;
    }
    EXPECT_GT(apart, 0);
}

TEST_F(CurveTextures, AFailedLockEndsTheBakeWithoutWriting)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kLinear);
    TextureResource map;
    platform::testing::GfxCallRecord record;
    platform::testing::GfxFailureInjection inject;
    inject.Fail("LockRect", gfx::kInvalidCall);
    BakeCurveTexture(&curve, &map, 32.0f);
    EXPECT_EQ(run.Renderer()->LastResult(), gfx::kInvalidCall);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("LockRect failed.\n", 0), 0u);
    EXPECT_EQ(record.Count("UnlockRect"), 0u);
    EXPECT_EQ(record.Count("UpdateTexture"), 0u);
    EXPECT_EQ(map.GetBlock(), nullptr);
    EXPECT_EQ(run.Renderer()->Targets().CurrentTarget(), nullptr) << "the staging texture's record went with it";
}

TEST_F(CurveTextures, UnlockAndCopyFailuresAreReported)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kLinear);
    {
        TextureResource map;
        platform::testing::GfxFailureInjection inject;
        inject.Fail("UnlockRect", gfx::kInvalidCall);
        BakeCurveTexture(&curve, &map, 8.0f);
        ASSERT_GE(run.Boxes().size(), 1u);
        EXPECT_EQ(run.Boxes()[0].text.rfind("UnlockRect failed.\n", 0), 0u);
    }
    run.ClearBoxes();
    {
        TextureResource map;
        platform::testing::GfxFailureInjection inject;
        inject.Fail("UpdateTexture", gfx::kOutOfVideoMemory);
        BakeCurveTexture(&curve, &map, 8.0f);
        EXPECT_EQ(run.Renderer()->LastResult(), gfx::kOutOfVideoMemory);
        ASSERT_EQ(run.Boxes().size(), 1u);
        EXPECT_EQ(run.Boxes()[0].text.rfind(std::string("UpdateTexture failed. ") +
                                                gfx::DescribeResult(gfx::kOutOfVideoMemory) + "\n",
                                            0),
                  0u);
    }
}

TEST_F(CurveTextures, WidthsBelowOneTexelMakeNoTexture)
{
    CurveResource curve;
    Ramp(curve, curve_mode::kLinear);
    for (float width : {0.0f, 0.5f, -3.0f, NAN}) {
        SCOPED_TRACE(width);
        run.ClearBoxes();
        TextureResource map;
        BakeCurveTexture(&curve, &map, width);
        EXPECT_FALSE(run.Boxes().empty()) << "the texture that could not be made is reported";
        EXPECT_EQ(map.GetBlock(), nullptr);
    }
}

} // namespace
