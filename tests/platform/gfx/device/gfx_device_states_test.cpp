// The states a device keeps beyond its render states: each starts as the
// platform's does, is kept as set, refuses what names no state, and reaches
// the call record; a texture given to a sampler is held while it is there.
#include <gtest/gtest.h>

#include <bit>

#include "platform/gfx/device/device.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace {

using namespace gfx;

TEST(GfxDeviceStates, EachStartsAsThePlatformsDevicesDo)
{
    gfx_test::TestDevice test;
    Device& d = *test.device;
    uint32_t v = 0;
    struct Sampler {
        uint32_t type, value;
    } samplers[] = {{kSampAddressU, 1}, {kSampAddressW, 1}, {kSampBorderColor, 0}, {kSampMagFilter, 1},
                    {kSampMinFilter, 1}, {kSampMipFilter, 0}, {kSampMaxAnisotropy, 1}, {kSampSrgbTexture, 0},
                    {kSampDMapOffset, 256}};
    for (const Sampler& s : samplers) {
        ASSERT_EQ(kOk, d.GetSamplerState(15, s.type, &v));
        EXPECT_EQ(v, s.value) << s.type;
    }
    struct Stage {
        uint32_t stage, type, value;
    } stages[] = {{0, kTssColorOp, 4}, {1, kTssColorOp, 1}, {0, kTssAlphaOp, 2}, {7, kTssAlphaOp, 1},
                  {3, kTssColorArg1, 2}, {3, kTssAlphaArg2, 1}, {5, kTssTexCoordIndex, 5}, {2, kTssConstant, 0xFFFFFFFFu}};
    for (const Stage& s : stages) {
        ASSERT_EQ(kOk, d.GetTextureStageState(s.stage, s.type, &v));
        EXPECT_EQ(v, s.value) << s.stage << " " << s.type;
    }
    Matrix4 m{};
    ASSERT_EQ(kOk, d.GetTransform(kTransformWorld + 255, &m));
    EXPECT_EQ(m, kIdentity);
    Light light;
    EXPECT_EQ(kInvalidCall, d.GetLight(0, &light)); // none set
    ASSERT_EQ(kOk, d.LightEnable(3, true));         // enabling one makes the default light
    ASSERT_EQ(kOk, d.GetLight(3, &light));
    EXPECT_EQ(light, Light());
    EXPECT_EQ(light.type, kLightDirectional);
    Material material;
    ASSERT_EQ(kOk, d.GetMaterial(&material));
    EXPECT_EQ(material, Material());
    BaseTexture* texture = reinterpret_cast<BaseTexture*>(&v); // overwritten
    ASSERT_EQ(kOk, d.GetTexture(0, &texture));
    EXPECT_EQ(texture, nullptr);
}

TEST(GfxDeviceStates, WhatIsSetIsKeptWhatNamesNoStateIsRefusedAndEveryCallIsRecorded)
{
    gfx_test::TestDevice test;
    Device& d = *test.device;
    platform::testing::GfxCallRecord record;
    uint32_t v = 0;
    EXPECT_EQ(kOk, d.SetSamplerState(15, kSampSrgbTexture, 1));
    EXPECT_EQ(kOk, d.GetSamplerState(15, kSampSrgbTexture, &v));
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(kOk, d.SetTextureStageState(7, kTssResultArg, 5));
    EXPECT_EQ(kOk, d.GetTextureStageState(7, kTssResultArg, &v));
    EXPECT_EQ(v, 5u);
    Matrix4 m{};
    for (size_t i = 0; i < 16; ++i)
        m[i] = float(i);
    EXPECT_EQ(kOk, d.SetTransform(kTransformTexture0 + 7, &m));
    Matrix4 back{};
    EXPECT_EQ(kOk, d.GetTransform(kTransformTexture0 + 7, &back));
    EXPECT_EQ(back, m);
    Light light;
    light.type = kLightSpot;
    light.range = 9;
    EXPECT_EQ(kOk, d.SetLight(40, &light));
    Light held;
    EXPECT_EQ(kOk, d.GetLight(40, &held));
    EXPECT_EQ(held, light);
    bool on = true;
    EXPECT_EQ(kOk, d.GetLightEnable(40, &on));
    EXPECT_FALSE(on); // set, not enabled
    Material material;
    material.power = 3;
    EXPECT_EQ(kOk, d.SetMaterial(&material));
    const float floats[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(kOk, d.SetVertexShaderConstantF(254, floats, 2));
    EXPECT_EQ(d.States().vertexFloats[255], (Vector4{5, 6, 7, 8}));
    const int32_t ints[4] = {-1, 2, 3, 4};
    EXPECT_EQ(kOk, d.SetPixelShaderConstantI(15, ints, 1));
    EXPECT_EQ(d.States().pixelInts[15][0], -1);
    const uint32_t bools[2] = {1, 1};
    EXPECT_EQ(kOk, d.SetPixelShaderConstantB(14, bools, 2));
    EXPECT_EQ(kOk, d.SetNPatchMode(2.5f));
    EXPECT_EQ(d.States().nPatchSegments, 2.5f);
    EXPECT_EQ(kOk, d.SetFVF(kFvfXyz | kFvfNormal | 1u << kFvfTexCountShift));
    EXPECT_EQ(kOk, d.GetFVF(&v));
    EXPECT_EQ(v, 0x112u);

    // What names no state, or reaches past the registers, changes nothing.
    const size_t good = record.Calls().size();
    EXPECT_EQ(kInvalidCall, d.SetSamplerState(16, kSampMinFilter, 2));
    EXPECT_EQ(kInvalidCall, d.SetSamplerState(0, 0, 2));
    EXPECT_EQ(kInvalidCall, d.SetSamplerState(0, kSamplerStateLimit, 2));
    EXPECT_EQ(kInvalidCall, d.SetTextureStageState(8, kTssColorOp, 2));
    EXPECT_EQ(kInvalidCall, d.SetTextureStageState(0, 12, 2));
    EXPECT_EQ(kInvalidCall, d.SetTransform(4, &m));
    EXPECT_EQ(kInvalidCall, d.SetTransform(kTransformLimit, &m));
    EXPECT_EQ(kInvalidCall, d.SetTransform(kTransformView, nullptr));
    light.type = 0;
    EXPECT_EQ(kInvalidCall, d.SetLight(40, &light));
    EXPECT_EQ(kInvalidCall, d.SetVertexShaderConstantF(255, floats, 2));
    EXPECT_EQ(kInvalidCall, d.SetPixelShaderConstantF(224, floats, 1));
    EXPECT_EQ(kInvalidCall, d.SetVertexShaderConstantB(0, nullptr, 1));
    EXPECT_EQ(kInvalidCall, d.SetTexture(16, nullptr));
    EXPECT_EQ(kInvalidCall, d.SetNPatchMode(std::bit_cast<float>(0x7FC00000u)));
    EXPECT_EQ(kOk, d.GetSamplerState(0, kSampMinFilter, &v));
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(kOk, d.GetLight(40, &held));
    EXPECT_EQ(held.type, kLightSpot);
    EXPECT_EQ(d.States().vertexFloats[255], (Vector4{5, 6, 7, 8}));
    // An injected failure changes nothing either.
    platform::testing::GfxFailureInjection inject;
    inject.Fail("SetSamplerState", kInvalidCall);
    EXPECT_EQ(kInvalidCall, d.SetSamplerState(15, kSampSrgbTexture, 0));
    EXPECT_EQ(kOk, d.GetSamplerState(15, kSampSrgbTexture, &v));
    EXPECT_EQ(v, 1u);

    const std::vector<std::string> names = record.Names();
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + good),
              (std::vector<std::string>{"SetSamplerState", "SetTextureStageState", "SetTransform", "SetLight",
                                        "SetMaterial", "SetVertexShaderConstantF", "SetPixelShaderConstantI",
                                        "SetPixelShaderConstantB", "SetNPatchMode", "SetFVF"}));
    EXPECT_EQ(record.Calls("SetSamplerState")[0].args, (std::vector<uint64_t>{15, kSampSrgbTexture, 1}));
    EXPECT_EQ(record.Calls("SetSamplerState")[1].result, kInvalidCall);
}

TEST(GfxDeviceStates, ASamplersTextureIsHeldWhileItIsSet)
{
    gfx_test::TestDevice test;
    Device& d = *test.device;
    Texture* texture = nullptr;
    ASSERT_EQ(kOk, d.CreateTexture(4, 4, 1, 0, kFormatA8R8G8B8, kPoolManaged, &texture));
    ASSERT_EQ(kOk, d.SetTexture(3, texture));
    ASSERT_EQ(kOk, d.SetTexture(4, texture));
    EXPECT_EQ(texture->RefCount(), 3u);
    BaseTexture* got = nullptr;
    ASSERT_EQ(kOk, d.GetTexture(3, &got));
    EXPECT_EQ(got, texture);
    EXPECT_EQ(texture->RefCount(), 4u);
    got->Release();
    ASSERT_EQ(kOk, d.SetTexture(3, texture)); // the same again takes no second reference
    EXPECT_EQ(texture->RefCount(), 3u);
    ASSERT_EQ(kOk, d.SetTexture(3, nullptr));
    EXPECT_EQ(texture->RefCount(), 2u);
    // The caller's release leaves the one the device holds, until the device goes.
    EXPECT_EQ(texture->Release(), 1u);
}

} // namespace
