// An effect in a resource file: its source name and the common group's values
// in their byte layout, and the define flags that files above version 1 carry.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "kernel/archive.h"
#include "kernel/rs_hash.h"
#include "render/effects/effect.h"
#include "testing/test_files.h"
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

TEST(EffectFile, AnEffectIsStoredAsItsSourceNameAndCommonValuesInFileOrder)
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
    const std::string written = zandrel_test::ReadFile(folder.dir / "fields.eff");

    FileBytes expected;
    expected.U16(1).Text(id);
    expected.U8(11).Raw("particle.fx", 11);
    expected.U32(2).Text("MatWorld").U32(kAutoWorld).Text("MatView").U32(kAutoView);
    expected.U32(1).Text("LightColor").F32(0.5f).F32(0.25f).F32(0.125f).F32(1.0f);
    expected.U32(2).Text("alpha").F32(0.75f).Text("fogMult").F32(2.0f);
    EXPECT_EQ(expected.bytes, written);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectFile, AFileAboveVersion1CarriesTheDefinesAndLoadsTheirVariant)
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
