// Materials: an effect payload whose parameters reach the effect object, and
// the round trip through a resource file.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "kernel/archive.h"
#include "kernel/rs_hash.h"
#include "platform/gfx/effect.h"
#include "render/material.h"
#include "tests/render/effect_test_support.h"

namespace {

using effect_test::EffectFolder;
using effect_test::Output;
using platform::testing::ScriptedMessageBoxes;

// Bytes of a resource file as the archives lay them out (little-endian).
struct FileBytes {
    FileBytes& U8(uint8_t value)
    {
        bytes.push_back(static_cast<char>(value));
        return *this;
    }
    FileBytes& U16(uint16_t value) { return Raw(&value, 2); }
    FileBytes& U32(uint32_t value) { return Raw(&value, 4); }
    FileBytes& F32(float value) { return Raw(&value, 4); }
    FileBytes& Text(const std::string& text) { return Raw(text.c_str(), text.size() + 1); }
    FileBytes& Raw(const void* data, size_t size)
    {
        bytes.append(static_cast<const char*>(data), size);
        return *this;
    }
    std::string bytes;
};

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

TEST(Material, AnEffectIsStoredAsItsSourceNameAndCommonValuesInFileOrder)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Output quiet;
    std::string id;
    {
        Effect effect;
        effect.LoadByName("particle.fx");
        id = IntToString(static_cast<int32_t>(effect.GetId()));
        effect.SetAutoMatrix("MatWorld", kAutoWorld);
        effect.SetAutoMatrix("MatView", kAutoView);
        const float4 colour{0.5f, 0.25f, 0.125f, 1.0f};
        effect.SetVector("LightColor", &colour);
        effect.SetFloat("fogMult", 2.0f);
        effect.SetFloat("alpha", 0.75f);
        effect.SetFloat("fogMult", 4.0f, "post"); // only the group "" is stored
        effect.SetDefine("FADE", true);           // define flags only from version 2
        effect.SaveToFile("fields.eff");
    }
    std::ifstream file(folder.dir / "fields.eff", std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};

    FileBytes expected;
    expected.U16(1).Text(id);
    expected.U8(11).Raw("particle.fx", 11);
    expected.U32(2).Text("MatWorld").U32(kAutoWorld).Text("MatView").U32(kAutoView);
    expected.U32(1).Text("LightColor").F32(0.5f).F32(0.25f).F32(0.125f).F32(1.0f);
    expected.U32(2).Text("alpha").F32(0.75f).Text("fogMult").F32(2.0f);
    EXPECT_EQ(expected.bytes, written);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(Material, AnEffectFileAboveVersion1CarriesTheDefinesAndLoadsTheirVariant)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Output quiet;
    FileBytes file;
    file.U16(2).Text("1");
    file.U32(2).Text("FADE").U8(1).Text("WIND").U8(0);
    file.U8(11).Raw("particle.fx", 11);
    file.U32(0);
    file.U32(0);
    file.U32(1).Text("fogMult").F32(3.0f);

    Effect effect;
    ASSERT_TRUE(effect.LoadFromMemory(file.bytes.data(), static_cast<uint32_t>(file.bytes.size()), "faded.eff"));
    EXPECT_EQ((EffectDefineFlags{{"FADE", true}, {"WIND", false}}), effect.defineFlags);
    EXPECT_EQ(RSHash("FADE"), effect.wantedVariant);
    ASSERT_NE(nullptr, effect.GetPayload());
    EXPECT_EQ(RSHash("FADE"), effect.GetPayload()->currentVariant);
    EXPECT_NE(nullptr, effect.CurrentEffect());
    EXPECT_TRUE(folder.Cached("particle" + std::to_string(RSHash("FADE")) + ".fxo"));
    EXPECT_EQ(3.0f, effect.params.Group("").floats["fogMult"]);
    EXPECT_TRUE(boxes.Shown().empty());
}

} // namespace
