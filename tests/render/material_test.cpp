// Materials: an effect payload whose parameters reach the effect object, and
// the round trip through a resource file.
#include <gtest/gtest.h>

#include "platform/gfx/effect.h"
#include "render/material.h"
#include "tests/render/effect_test_support.h"

namespace {

using effect_test::EffectFolder;
using effect_test::Output;
using platform::testing::ScriptedMessageBoxes;

float Uploaded(const gfx::EffectBinding& binding, const std::string& name)
{
    for (const gfx::UploadedParameter& parameter : binding.parameters)
        if (parameter.name == name)
            return parameter.values.at(0);
    return -1.0f;
}

TEST(Material, ParametersSetThroughTheMaterialReachTheEffectsPass)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    MaterialResource material;
    MakeUniqueMaterial(material);
    EXPECT_EQ(2u, material.GetState());
    Effect* effect = material.GetEffect();
    ASSERT_NE(nullptr, effect);
    {
        Output quiet;
        effect->LoadByName("particle.fx");
    }
    ASSERT_NE(nullptr, effect->CurrentEffect());
    effect->SetFloat("particleSize", 2.5f);
    effect->SetFloat("particleSize", 4.0f, "diff"); // the technique's group wins
    float4 colour{0.1f, 0.2f, 0.3f, 1.0f};
    effect->SetVector("LightColor", &colour);

    gfx::Effect& object = *effect->CurrentEffect();
    ApplyEffectParams(effect->params, object, "diff", EffectDrawMatrices{}, nullptr);
    uint32_t passes = 0;
    ASSERT_EQ(gfx::kEffectOk, object.SetTechnique("diff"));
    ASSERT_EQ(gfx::kEffectOk, object.Begin(passes));
    ASSERT_EQ(gfx::kEffectOk, object.BeginPass(0));
    EXPECT_EQ(folder.device.device, object.GetDevice());
    EXPECT_EQ(4.0f, Uploaded(object.CurrentBinding(), "particleSize"));
    EXPECT_FLOAT_EQ(0.2f, object.CurrentBinding().parameters.empty() ? 0.0f : [&] {
        for (const auto& p : object.CurrentBinding().parameters)
            if (p.name == "LightColor")
                return p.values.at(1);
        return -1.0f;
    }());
    object.EndPass();
    object.End();
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(Material, SavedAndLoadedBackKeepsItsEffectAndCommonValues)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    {
        MaterialResource material;
        MakeUniqueMaterial(material);
        Effect* effect = material.GetEffect();
        Output quiet;
        effect->LoadByName("particle.fx");
        effect->SetAutoMatrix("MatWorldViewProj", kAutoWorldViewProj);
        effect->SetAutoMatrix("MatView", kAutoView);
        float4 colour{0.5f, 0.25f, 0.125f, 1.0f};
        effect->SetVector("LightColor", &colour);
        effect->SetFloat("particleSize", 3.0f);
        effect->SetFloat("particleSize", 9.0f, "diff"); // other groups are not stored
        material.SaveToFile("stone.mat");
    }
    MaterialResource loaded;
    Output quiet;
    ASSERT_TRUE(loaded.LoadFromFile("stone.mat"));
    Effect* effect = loaded.GetEffect();
    ASSERT_NE(nullptr, effect);
    ASSERT_NE(nullptr, effect->GetPayload());
    EXPECT_EQ("particle.fx", std::string(effect->GetPayload()->sourceName.View()));
    EXPECT_NE(nullptr, effect->CurrentEffect());
    EffectParamGroup& common = effect->params.Group("");
    ASSERT_EQ(2u, common.autoMatrices.size());
    EXPECT_EQ("MatWorldViewProj", common.autoMatrices[0].name);
    EXPECT_EQ(uint32_t{kAutoView}, common.autoMatrices[1].code);
    EXPECT_EQ(0.25f, common.vectors["LightColor"].y);
    EXPECT_EQ(3.0f, common.floats["particleSize"]);
    EXPECT_TRUE(effect->params.Group("diff").floats.empty());
    EXPECT_TRUE(boxes.Shown().empty());
}

} // namespace
