// Materials: an effect payload whose parameters reach the effect object, and
// the round trip through a resource file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <fstream>
#include <iterator>
#include <vector>

#include "kernel/archive.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/resources/material.h"
#include "testing/gfx_device_hooks.h"
#include "testing/test_files.h"
#include "tests/render/effect_test_support.h"
#include "tests/render/texture_test_support.h"

namespace {

using effect_test::EffectFolder;
using effect_test::Output;
using platform::testing::ScriptedMessageBoxes;

std::string AllShown(const ScriptedMessageBoxes& boxes)
{
    std::string all;
    for (const auto& box : boxes.Shown())
        all += box.text + "|";
    return all;
}

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

    gfx::RuntimeEffect& object = *effect->CurrentEffect();
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

void WriteBytes(EffectFolder& folder, const std::string& name, const std::vector<uint8_t>& bytes)
{
    folder.Write(name, std::string(bytes.begin(), bytes.end()));
}

const gfx::BaseTexture* Bound(const gfx::EffectBinding& binding, const std::string& name)
{
    for (const gfx::UploadedTexture& texture : binding.textures)
        if (texture.name == name)
            return texture.texture;
    return nullptr;
}

std::string FileName(TextureResource* handle)
{
    return handle && handle->GetPayload() ? std::string(handle->GetPayload()->fileName.View()) : "";
}

TEST(MaterialTextures, ASlotIsBoundOncePerNameAndTheTwentyFifthNameSharesTheFirst)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    MaterialResource material;
    EXPECT_EQ(nullptr, material.textureSlots.GetTextureSlot("diffuse")); // no block, nothing to bind in
    MakeUniqueMaterial(material);
    TextureResource* diffuse = material.textureSlots.GetTextureSlot("diffuse");
    ASSERT_NE(nullptr, diffuse);
    EXPECT_EQ(diffuse, material.textureSlots.GetTextureSlot("diffuse"));
    EXPECT_EQ(1u, material.textureSlots.slots.count);
    EXPECT_EQ(diffuse, material.GetEffect()->params.Group("").textures["diffuse"]);

    for (int i = 1; i < 24; ++i)
        material.textureSlots.GetTextureSlot("map" + std::to_string(i));
    EXPECT_EQ(24u, material.textureSlots.slots.count);
    EXPECT_TRUE(boxes.Shown().empty());
    TextureResource* extra = material.textureSlots.GetTextureSlot("oneTooMany");
    EXPECT_EQ(diffuse, extra);
    EXPECT_EQ(1u, material.textureSlots.slots.count);
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_NE(std::string::npos, boxes.Shown()[0].text.find("staticHeapVector overflow."));

    // A material's own group takes its bindings.
    MaterialResource post;
    MakeUniqueMaterial(post);
    post.groupName = "post";
    TextureResource* scene = post.textureSlots.GetTextureSlot("sceneTexture");
    EXPECT_EQ(scene, post.GetEffect()->params.Group("post").textures["sceneTexture"]);
    EXPECT_TRUE(post.GetEffect()->params.Group("").textures.empty());
}

TEST(MaterialTextures, SavedAndLoadedBackTheyKeepTheirFilesByNameAndReachTheEffect)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    const std::vector<uint8_t> stone = texture_test::Picture(4, 4);
    WriteBytes(folder, "stone.tga", texture_test::Tga32(4, 4, stone));
    WriteBytes(folder, "moss.bmp", texture_test::Bmp24(8, 2, texture_test::Picture(8, 2)));
    {
        MaterialResource material;
        MakeUniqueMaterial(material);
        Output quiet;
        material.GetEffect()->LoadByName("particle.fx");
        material.textureSlots.GetTextureSlot("particleTexture")->LoadByName("stone.tga");
        material.textureSlots.GetTextureSlot("detail")->LoadByName("moss.bmp");
        TextureResource* unnamed = material.textureSlots.GetTextureSlot("blank"); // never loaded
        ASSERT_NE(nullptr, unnamed);
        EXPECT_EQ(2u, material.textureSlots.GetTextureSlot("detail")->GetState());
        material.SaveToFile("stone.mat");
    }

    MaterialResource loaded;
    {
        Output quiet;
        ASSERT_TRUE(loaded.LoadFromFile("stone.mat"));
    }
    Effect* effect = loaded.GetEffect();
    ASSERT_NE(nullptr, effect);
    std::map<std::string, TextureResource*>& textures = effect->params.Group("").textures;
    ASSERT_EQ(3u, textures.size());
    EXPECT_EQ(3u, loaded.textureSlots.slots.count);
    // Read in name order into the first slots.
    EXPECT_EQ(&loaded.textureSlots.slots[0], textures["blank"]);
    EXPECT_EQ(&loaded.textureSlots.slots[1], textures["detail"]);
    EXPECT_EQ(&loaded.textureSlots.slots[2], textures["particleTexture"]);
    EXPECT_EQ("stone.tga", FileName(textures["particleTexture"]));
    EXPECT_EQ("moss.bmp", FileName(textures["detail"]));
    EXPECT_EQ(2u, textures["particleTexture"]->GetState());
    EXPECT_EQ(2u, textures["detail"]->GetState());
    // A handle without a file reads back without a load.
    EXPECT_EQ(0u, textures["blank"]->GetState());
    EXPECT_EQ(nullptr, DeviceTextureOf(textures["blank"]));
    auto* texture = const_cast<gfx::BaseTexture*>(DeviceTextureOf(textures["particleTexture"]));
    ASSERT_NE(nullptr, texture);
    const std::span<uint8_t> texels = platform::testing::TextureBytes(*texture);
    ASSERT_GE(texels.size(), stone.size());
    EXPECT_TRUE(std::equal(stone.begin(), stone.end(), texels.begin())); // level 0 first
    // Asking for a bound name again gives the handle read.
    EXPECT_EQ(textures["detail"], loaded.textureSlots.GetTextureSlot("detail"));

    gfx::RuntimeEffect& object = *effect->CurrentEffect();
    ApplyEffectParams(effect->params, object, "diff", EffectDrawMatrices{}, &DeviceTextureOf);
    uint32_t passes = 0;
    ASSERT_EQ(gfx::kEffectOk, object.SetTechnique("diff"));
    ASSERT_EQ(gfx::kEffectOk, object.Begin(passes));
    ASSERT_EQ(gfx::kEffectOk, object.BeginPass(0));
    const gfx::BaseTexture* drawn = Bound(object.CurrentBinding(), "particleTexture");
    EXPECT_NE(nullptr, drawn);
    EXPECT_EQ(DeviceTextureOf(textures["particleTexture"]), drawn);
    object.EndPass();
    object.End();
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(MaterialTextures, TheFileHoldsTheCountThenEachNameAndItsTextureHandle)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    WriteBytes(folder, "a.tga", texture_test::Tga32(2, 2, texture_test::Picture(2, 2)));
    MaterialResource material;
    MakeUniqueMaterial(material);
    {
        Output quiet;
        material.GetEffect()->LoadByName("particle.fx");
        material.SaveToFile("empty.mat");
        TextureResource* slot = material.textureSlots.GetTextureSlot("tex");
        slot->pool = 1;
        slot->SetTextureFlags(64);
        slot->LoadByName("a.tga");
        material.SaveToFile("one.mat");
    }
    auto read = [&](const std::string& name) { return zandrel_test::ReadBytes(folder.dir / name); };
    const std::vector<uint8_t> empty = read("empty.mat");
    const std::vector<uint8_t> one = read("one.mat");
    // An empty map: the effect, then a count of 0.
    ASSERT_GE(empty.size(), 4u);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), std::vector<uint8_t>(empty.end() - 4, empty.end()));
    // The same effect, then 1, "tex", the texture framed at version 0 and its fields.
    std::vector<uint8_t> expected(empty.begin(), empty.end() - 4);
    const std::vector<uint8_t> tail{1, 0, 0, 0, 't', 'e', 'x', 0, 0, 0, 5, 'a', '.', 't', 'g', 'a',
                                    1, 0, 0, 0, 64, 0, 0, 0};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(expected, one);

    // Read back, the handle takes the pool and flags it is loaded with.
    MaterialResource loaded;
    {
        Output quiet;
        ASSERT_TRUE(loaded.LoadFromFile("one.mat"));
    }
    TextureResource* tex = loaded.GetEffect()->params.Group("").textures["tex"];
    ASSERT_NE(nullptr, tex);
    EXPECT_EQ(1u, tex->pool);
    EXPECT_EQ(64u, tex->loadFlags);
    EXPECT_EQ(2u, tex->GetState());
    EXPECT_TRUE(boxes.Shown().empty()) << AllShown(boxes);
}

TEST(MaterialTextures, MoreBindingsInAFileThanSlotsReuseTheFirstSlots)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    {
        MaterialResource material;
        MakeUniqueMaterial(material);
        {
            Output quiet;
            material.GetEffect()->LoadByName("particle.fx");
        }
        // Bindings of the group "" may come from anywhere: 26 names.
        std::vector<std::unique_ptr<TextureResource>> handles;
        for (int i = 0; i < 26; ++i) {
            handles.push_back(std::make_unique<TextureResource>());
            char name[8];
            std::snprintf(name, sizeof(name), "t%02d", i);
            material.GetEffect()->SetTexture(name, handles.back().get());
        }
        Output quiet;
        material.SaveToFile("many.mat");
    }
    MaterialResource loaded;
    {
        Output quiet;
        ASSERT_TRUE(loaded.LoadFromFile("many.mat"));
    }
    std::map<std::string, TextureResource*>& textures = loaded.GetEffect()->params.Group("").textures;
    EXPECT_EQ(26u, textures.size());
    EXPECT_EQ(2u, loaded.textureSlots.slots.count);
    EXPECT_EQ(&loaded.textureSlots.slots[0], textures["t00"]);
    EXPECT_EQ(&loaded.textureSlots.slots[0], textures["t24"]);
    EXPECT_EQ(&loaded.textureSlots.slots[1], textures["t25"]);
    ASSERT_EQ(1u, boxes.Shown().size()) << AllShown(boxes);
    EXPECT_NE(std::string::npos, boxes.Shown()[0].text.find("staticHeapVector overflow."));
}

TEST(MaterialTextures, ADamagedCountStopsAtTheEndOfTheFile)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    MaterialResource material;
    MakeUniqueMaterial(material);
    {
        Output quiet;
        material.GetEffect()->LoadByName("particle.fx");
        material.SaveToFile("cut.mat");
    }
    std::vector<uint8_t> bytes = zandrel_test::ReadBytes(folder.dir / "cut.mat");
    ASSERT_GE(bytes.size(), 4u);
    std::memset(&bytes[bytes.size() - 4], 0xFF, 4); // four billion bindings, none there
    WriteBytes(folder, "cut.mat", bytes);
    MaterialResource loaded;
    Output quiet;
    EXPECT_FALSE(loaded.LoadFromFile("cut.mat"));
    ASSERT_EQ(1u, boxes.Shown().size()) << AllShown(boxes);
    EXPECT_NE(std::string::npos, boxes.Shown()[0].text.find("truncated or damaged"));
}

} // namespace
