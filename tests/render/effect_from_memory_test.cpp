// Effects made from bytes in memory: compiled files and sources with defines,
// the reports of a failed creation, and the device an effect's passes bind to.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kernel/error_stream.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/effects/effect_from_memory.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace {

std::string Fixture(const std::string& name)
{
    return zandrel_test::ReadFile(std::string(ZANDREL_SOURCE_DIR) + "/tests/render/fixtures/" + name);
}

bool HasTechnique(const gfx::RuntimeEffect& effect, const char* name) { return effect.FindTechnique(name) != nullptr; }

TEST(EffectFromMemory, SourceWithDefinesEachDefinedAsALineFeed)
{
    platform::testing::ScriptedMessageBoxes boxes;
    const std::string source = Fixture("particle.fx");
    const std::vector<std::string> defines = {"BILLBOARD", "LIGHTING"};
    EffectObject effect;
    int32_t result = -1;
    ASSERT_TRUE(CreateEffectFromMemory(source.data(), source.size(), "particle.fx", &defines, nullptr, effect, result));
    EXPECT_EQ(gfx::kEffectOk, result);
    ASSERT_TRUE(effect);
    EXPECT_EQ(defines, effect->Defines());
    EXPECT_TRUE(HasTechnique(*effect, "lit"));
    EXPECT_EQ(nullptr, effect->FindParameter("fadeTime"));

    // No list: the base effect.
    ASSERT_TRUE(CreateEffectFromMemory(source.data(), source.size(), "particle.fx", nullptr, nullptr, effect, result));
    EXPECT_TRUE(effect->Defines().empty());
    EXPECT_FALSE(HasTechnique(*effect, "lit"));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectFromMemory, CompiledBytesMakeTheEffectTheyWereCompiledAs)
{
    platform::testing::ScriptedMessageBoxes boxes;
    gfx::EffectDescription description;
    std::string messages;
    ASSERT_TRUE(gfx::CompileEffectSource(Fixture("particle.fx"), "particle.fx", {{"FADE", "1"}}, {}, description,
                                         messages))
        << messages;
    const std::vector<uint8_t> bytes = gfx::WriteCompiledEffect(description);
    EffectObject effect;
    int32_t result = -1;
    ASSERT_TRUE(CreateEffectFromMemory(bytes.data(), bytes.size(), "/compiledshaders/particle1.fxo", nullptr, nullptr,
                                       effect, result));
    ASSERT_NE(nullptr, effect->FindParameter("fadeTime"));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectFromMemory, CompilerMessagesFillOneTwoLineBox)
{
    platform::testing::ScriptedMessageBoxes boxes;
    const std::string source = Fixture("broken.fx");
    EffectObject effect = std::make_shared<gfx::RuntimeEffect>(gfx::EffectDescription{});
    int32_t result = 0;
    EXPECT_FALSE(CreateEffectFromMemory(source.data(), source.size(), "broken.fx", nullptr, nullptr, effect, result));
    EXPECT_FALSE(effect); // what the destination held is gone too
    EXPECT_EQ(gfx::kEffectInvalidData, result);
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(ErrorBoxText("Shader broken.fx compilation error!\n"
                           "broken.fx(3,1): error X3000: syntax error: unexpected token 'technique'\n\n\n"),
              boxes.Shown()[0].text);
    // Nothing of the message is left waiting for the next one.
    EXPECT_EQ("", GetErrorStream().Pending());
}

TEST(EffectFromMemory, NothingToMakeAnEffectFromIsNotFound)
{
    platform::testing::ScriptedMessageBoxes boxes;
    EffectObject effect;
    int32_t result = 0;
    EXPECT_FALSE(CreateEffectFromMemory(nullptr, 0, "lost.fx", nullptr, nullptr, effect, result));
    EXPECT_FALSE(effect);
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(ErrorBoxText("Shader lost.fx not found.\n"), boxes.Shown()[0].text);
}

TEST(EffectFromMemory, ADamagedCompiledFileIsReportedWithItsReason)
{
    platform::testing::ScriptedMessageBoxes boxes;
    gfx::EffectDescription description;
    std::string messages;
    ASSERT_TRUE(gfx::CompileEffectSource(Fixture("particle.fx"), "particle.fx", {}, {}, description, messages));
    std::vector<uint8_t> bytes = gfx::WriteCompiledEffect(description);
    bytes[bytes.size() / 2] ^= 0x5A;
    EffectObject effect;
    int32_t result = 0;
    EXPECT_FALSE(CreateEffectFromMemory(bytes.data(), bytes.size(), "/compiledshaders/particle.fxo", nullptr, nullptr,
                                        effect, result));
    EXPECT_FALSE(effect);
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_NE(std::string::npos,
              boxes.Shown()[0].text.find("Shader /compiledshaders/particle.fxo compilation error!\n"
                                         "/compiledshaders/particle.fxo(1,1): error X3500: invalid compiled effect"));
}

} // namespace

namespace {

TEST(EffectFromMemory, ThePassesOfAnEffectMadeForTheDeviceBindToIt)
{
    gfx_test::TestDevice device;
    const std::string source = Fixture("particle.fx");
    EffectObject effect;
    int32_t result = 0;
    ASSERT_TRUE(CreateEffectFromMemory(source.data(), source.size(), "particle.fx", nullptr, device.device, effect,
                                       result));
    EXPECT_EQ(device.device, effect->GetDevice());
    ASSERT_EQ(gfx::kEffectOk, effect->SetFloat("particleSize", 3.5f));
    uint32_t passes = 0;
    ASSERT_EQ(gfx::kEffectOk, effect->Begin(passes));
    ASSERT_EQ(gfx::kEffectOk, effect->BeginPass(0));
    const gfx::EffectBinding& binding = effect->CurrentBinding();
    EXPECT_EQ("diff", binding.technique);
    effect->EndPass();
    effect->End();
    effect.reset(); // the effect goes before the device, giving its reference back
}

} // namespace
