// The parameter store: what each setter records, and what an application of the
// groups hands a real effect object, in which order.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/effects/effect_params.h"

namespace {

const char* const kSource = R"(
float4x4 MatWorldViewProj;
float4x4 MatWorld;
float4x4 MatView;
float4x4 MatInvView;
float4x4 lightMatrix[2];
float4 PosCam;
float4 LightColor;
float4 casterRadius[4];
float fogMult;
float exposure;
texture shadowMap;
float4 PS() : COLOR0 { return LightColor * fogMult; }
technique diff { pass p0 { PixelShader = compile ps_3_0 PS(); } }
technique post { pass p0 { PixelShader = compile ps_3_0 PS(); } }
)";

class EffectParamsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string errors;
        ASSERT_EQ(gfx::kEffectOk, gfx::RuntimeEffect::Create(kSource, std::strlen(kSource), {}, effect, errors, "params.fx"))
            << errors;
        world.SetIdentity();
        world(3, 0) = 5.0f; // a translation
        view.SetIdentity();
        view(3, 2) = 10.0f;
        projection.SetIdentity();
        projection(0, 0) = 2.0f;
        viewProj = Multiply(view, projection);
        cameraWorld.SetIdentity();
        cameraWorld.SetRow(3, {1.0f, 2.0f, 3.0f, 1.0f});
        draw = {&world, &view, &projection, &viewProj, &cameraWorld};
    }

    float Float(const char* name)
    {
        float value = -1.0f;
        effect->GetFloat(name, value);
        return value;
    }
    float4 Vector(const char* name)
    {
        float4 value;
        effect->GetVector(name, &value.x);
        return value;
    }
    float4x4 Matrix(const char* name)
    {
        float4x4 value;
        effect->GetMatrix(name, value.m);
        return value;
    }

    std::unique_ptr<gfx::RuntimeEffect> effect;
    EffectParams params;
    float4x4 world, view, projection, viewProj, cameraWorld;
    EffectDrawMatrices draw;
};

void ExpectMatrixEq(const float4x4& expected, const float4x4& actual)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(expected.m[i], actual.m[i]) << "element " << i;
}

TEST_F(EffectParamsTest, AFloatsAddressIsLiveAndANewOneStartsAtZero)
{
    params.SetFloat("fogMult", 1.0f, "");
    float* fog = params.GetFloatParam("fogMult", "");
    EXPECT_EQ(1.0f, *fog);
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);
    EXPECT_EQ(1.0f, Float("fogMult"));
    *fog = 2.0f;
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);
    EXPECT_EQ(2.0f, Float("fogMult"));

    effect->SetFloat("exposure", 7.0f);
    float* exposure = params.GetFloatParam("exposure", "");
    EXPECT_EQ(0.0f, *exposure);
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);
    EXPECT_EQ(0.0f, Float("exposure"));
    // A later setter replaces the value in the same storage.
    params.SetFloat("exposure", 3.0f, "");
    EXPECT_EQ(3.0f, *exposure);
}

TEST_F(EffectParamsTest, VectorsAreCopiesArraysAndMatricesAreTheCallersStorage)
{
    float4 colour{0.5f, 0.25f, 1.0f, 1.0f};
    params.SetVector("LightColor", &colour, "");
    colour.x = 9.0f; // not seen: the store kept a copy
    float4 radii[4] = {Splat(1.0f), Splat(2.0f), Splat(3.0f), Splat(4.0f)};
    params.SetVectorArray("casterRadius", radii, 4, "");
    float4x4 lights[2];
    lights[0].SetIdentity();
    lights[1].SetIdentity();
    params.SetMatrixArray("lightMatrix", lights, 2, "");
    float4x4 single = IdentityMatrix();
    params.SetMatrix("MatInvView", &single, "");

    radii[2] = Splat(30.0f);
    lights[1](0, 1) = 4.0f;
    single(2, 2) = 6.0f;
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);

    EXPECT_EQ(0.5f, Vector("LightColor").x);
    float4 applied[4];
    ASSERT_EQ(gfx::kEffectOk, effect->GetVectorArray("casterRadius", &applied[0].x, 4));
    EXPECT_EQ(30.0f, applied[2].x);
    EXPECT_EQ(4.0f, applied[3].w);
    float4x4 appliedLights[2];
    ASSERT_EQ(gfx::kEffectOk, effect->GetMatrixArray("lightMatrix", appliedLights[0].m, 2));
    EXPECT_EQ(4.0f, appliedLights[1](0, 1));
    EXPECT_EQ(6.0f, Matrix("MatInvView")(2, 2));
    EXPECT_EQ(4u, params.Group("").vectorArrayCounts["casterRadius"]);
}

TEST_F(EffectParamsTest, AutomaticMatricesFollowTheirCodesAndTheLastRecordWins)
{
    params.SetAutoMatrix("MatWorldViewProj", kAutoWorldViewProj, "");
    params.SetAutoMatrix("MatView", kAutoView, "");
    params.SetAutoMatrix("MatWorld", kAutoWorld, "");
    params.SetAutoMatrix("MatInvView", kAutoInvView, "");
    params.SetAutoMatrix("MatWorld", kAutoProjection, ""); // same name again: applied twice
    params.SetAutoMatrix("MatView", 8, "");                 // no such code: sends nothing
    ASSERT_EQ(6u, params.Group("").autoMatrices.size());
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);

    ExpectMatrixEq(Multiply(world, viewProj), Matrix("MatWorldViewProj"));
    ExpectMatrixEq(view, Matrix("MatView"));
    ExpectMatrixEq(projection, Matrix("MatWorld"));
    ExpectMatrixEq(Inverse(view), Matrix("MatInvView"));
}

TEST_F(EffectParamsTest, ATechniquesGroupAppliesOnlyToItAndAfterTheCommonGroup)
{
    params.SetFloat("fogMult", 1.0f, "");
    params.SetFloat("fogMult", 5.0f, "post");
    params.SetFloat("exposure", 2.0f, "post");
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);
    EXPECT_EQ(1.0f, Float("fogMult"));
    EXPECT_EQ(0.0f, Float("exposure"));
    EXPECT_TRUE(params.groups.count("diff")); // looked up, so now there, empty

    ApplyEffectParams(params, *effect, "post", draw, nullptr);
    EXPECT_EQ(5.0f, Float("fogMult"));
    EXPECT_EQ(2.0f, Float("exposure"));
}

TEST_F(EffectParamsTest, ThePassesValuesReachTheBindingWithTheCameraPositionAlways)
{
    // A store with no vectors at all still sends "PosCam".
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);
    const float4 position = Vector("PosCam");
    EXPECT_EQ(1.0f, position.x);
    EXPECT_EQ(2.0f, position.y);
    EXPECT_EQ(3.0f, position.z);

    params.SetFloat("fogMult", 0.75f, "");
    params.SetFloat("notInTheEffect", 1.0f, ""); // passed all the same, changes nothing
    ApplyEffectParams(params, *effect, "diff", draw, nullptr);
    uint32_t passes = 0;
    ASSERT_EQ(gfx::kEffectOk, effect->SetTechnique("diff"));
    ASSERT_EQ(gfx::kEffectOk, effect->Begin(passes));
    ASSERT_EQ(gfx::kEffectOk, effect->BeginPass(0));
    const gfx::EffectBinding& binding = effect->CurrentBinding();
    EXPECT_EQ("diff", binding.technique);
    bool found = false;
    for (const gfx::UploadedParameter& parameter : binding.parameters) {
        if (parameter.name == "fogMult") {
            found = true;
            EXPECT_EQ(0.75f, parameter.values.at(0));
        }
    }
    EXPECT_TRUE(found);
    effect->EndPass();
    effect->End();
}

TEST_F(EffectParamsTest, NullStorageIsSkippedRatherThanRead)
{
    params.SetMatrix("MatInvView", nullptr, "");
    params.SetVectorArray("casterRadius", nullptr, 4, "");
    params.SetMatrixArray("lightMatrix", nullptr, 2, "");
    params.SetVector("LightColor", nullptr, "");
    EffectDrawMatrices none;
    params.SetAutoMatrix("MatWorld", kAutoWorldViewProj, "");
    ApplyEffectParams(params, *effect, "diff", none, nullptr);
    EXPECT_EQ(0.0f, Vector("LightColor").x);
    EXPECT_EQ(0.0f, Vector("PosCam").w);
}

} // namespace
