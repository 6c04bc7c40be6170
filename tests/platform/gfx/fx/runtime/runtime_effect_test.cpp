#include "platform/gfx/fx/runtime/runtime_effect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/render_state.h"
#include "testing/gfx_call_record.h"
#include "tests/platform/gfx/device/gfx_test_device.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

namespace {

using gfx::RuntimeEffect;
using gfx::kEffectInvalidCall;
using gfx::kEffectInvalidData;
using gfx::kEffectNotFound;
using gfx::kEffectOk;

// Textures are only carried by address here, never looked into.
const gfx::BaseTexture* FakeTexture(const int& tag) { return reinterpret_cast<const gfx::BaseTexture*>(&tag); }

std::unique_ptr<RuntimeEffect> FromSource(const std::string& source, const std::vector<gfx::EffectMacro>& defines = {},
                                          const std::string& name = "test.fx", const gfx::EffectFileReader& reader = {})
{
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors;
    EXPECT_EQ(RuntimeEffect::Create(source.data(), source.size(), defines, effect, errors, name, reader), kEffectOk)
        << errors;
    return effect;
}

// The messages of `source` (named bad.fx), which the effect refuses.
std::string Refused(const std::string& source)
{
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors;
    EXPECT_EQ(RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors, "bad.fx"), kEffectInvalidData)
        << source;
    EXPECT_FALSE(effect);
    return errors;
}

// The number `name` holds, or NaN where the effect does not give one.
float FloatOf(const RuntimeEffect& effect, const char* name)
{
    float f = 0;
    return effect.GetFloat(name, f) == kEffectOk ? f : std::nanf("");
}

std::unique_ptr<RuntimeEffect> Grammar(const std::vector<gfx::EffectMacro>& defines = {})
{
    return FromSource(effect_test::Fixture("grammar.fx"), defines, effect_test::FixtureDir() + "grammar.fx",
                      effect_test::FileReader());
}

const gfx::UploadedParameter* Uploaded(const gfx::EffectBinding& b, const std::string& name)
{
    for (const auto& p : b.parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

TEST(RuntimeEffect, CreatesFromSourceAndFromCompiledBytesAlike)
{
    std::unique_ptr<RuntimeEffect> fromSource = Grammar({{"USE_HDR", "\n"}});
    ASSERT_TRUE(fromSource);
    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(fromSource->Description());
    std::unique_ptr<RuntimeEffect> fromCompiled;
    std::string errors;
    ASSERT_EQ(RuntimeEffect::Create(compiled.data(), compiled.size(), {}, fromCompiled, errors), kEffectOk);
    EXPECT_EQ(fromCompiled->Description(), fromSource->Description());
    EXPECT_EQ(fromCompiled->Defines(), std::vector<std::string>{"USE_HDR"});
    EXPECT_NE(fromCompiled->FindParameter("exposureBias"), nullptr);
    EXPECT_EQ(Grammar()->FindParameter("exposureBias"), nullptr);
    EXPECT_GT(fromCompiled->MemoryBytes(), 0u);
}

TEST(RuntimeEffect, FailuresReturnTheMessagesOrNothingForEmptyData)
{
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors = "stale";
    EXPECT_EQ(RuntimeEffect::Create(nullptr, 0, {}, effect, errors), kEffectInvalidData);
    EXPECT_EQ(errors, "");

    EXPECT_EQ(Refused("float4 x = float4(1, 2);\n"), "bad.fx(1,12): error X3014: incorrect number of arguments to numeric-type constructor: 'float4' takes 4 values, 2 given\n");

    // In memory there is no include handler unless one is given.
    std::string include = "#include \"x.fxh\"\n";
    EXPECT_EQ(RuntimeEffect::Create(include.data(), include.size(), {}, effect, errors, "inc.fx"), kEffectInvalidData);
    EXPECT_NE(errors.find("cannot open include file 'x.fxh'"), std::string::npos);

    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(Grammar()->Description());
    compiled.resize(compiled.size() / 2);
    EXPECT_EQ(RuntimeEffect::Create(compiled.data(), compiled.size(), {}, effect, errors, "cut.fxo"), kEffectInvalidData);
    EXPECT_EQ(errors, "cut.fxo(1,1): error X3500: invalid compiled effect: the file size does not match its header\n");

    std::vector<uint8_t> junk = {0x00, 0xff, 0x10, 0x80};
    EXPECT_EQ(RuntimeEffect::Create(junk.data(), junk.size(), {}, effect, errors, "junk.fxo"), kEffectInvalidData);
    EXPECT_NE(errors.find("junk.fxo(1,1): error X3001: invalid character"), std::string::npos) << errors;
}

TEST(RuntimeEffect, ParametersHaveTypesSizesAndDefaults)
{
    std::unique_ptr<RuntimeEffect> effect = Grammar();
    const gfx::EffectParameter* coeffs = effect->FindParameter("shCoeffs");
    ASSERT_NE(coeffs, nullptr);
    EXPECT_EQ(coeffs->arraySize, 16u);
    EXPECT_EQ(coeffs->columns, 4);
    EXPECT_EQ(FloatOf(*effect, "fogMult"), 0.5f);
    float color[4] = {};
    EXPECT_EQ(effect->GetVector("LightColor", color), kEffectOk);
    EXPECT_FLOAT_EQ(color[1], 0.9f);
    float tint[4] = {9, 9, 9, 9};
    EXPECT_EQ(effect->GetVector("skyTint", tint), kEffectOk);  // float3: w reads 0
    EXPECT_EQ(tint[3], 0.0f);
    EXPECT_EQ(effect->FindParameter("nothing"), nullptr);
}

TEST(RuntimeEffect, SettersStoreByKindAndUnknownNamesChangeNothing)
{
    std::unique_ptr<RuntimeEffect> effect = Grammar();
    EXPECT_EQ(effect->SetFloat("fogMult", 0.25f), kEffectOk);
    float value[16] = {};
    EXPECT_EQ(FloatOf(*effect, "fogMult"), 0.25f);

    const float v[4] = {1, 2, 3, 4};
    EXPECT_EQ(effect->SetVector("skyTint", v), kEffectOk);
    effect->GetFloatArray("skyTint", value, 3);
    EXPECT_EQ(value[2], 3.0f);

    float coeffs[16 * 4];
    for (int i = 0; i < 64; ++i)
        coeffs[i] = float(i);
    EXPECT_EQ(effect->SetVectorArray("shCoeffs", coeffs, 16), kEffectOk);
    float back[17 * 4];
    EXPECT_EQ(effect->GetVectorArray("shCoeffs", back, 17), kEffectOk);
    EXPECT_EQ(back[63], 63.0f);
    EXPECT_EQ(back[64], 0.0f);  // beyond the array reads 0
    EXPECT_EQ(effect->SetVectorArray("casterRadius", coeffs, 100), kEffectOk);  // extra ignored

    float m[2][16];
    for (int i = 0; i < 32; ++i)
        m[i / 16][i % 16] = float(i);
    EXPECT_EQ(effect->SetMatrix("MatWorld", m[0]), kEffectOk);
    float mb[16];
    effect->GetMatrix("MatWorld", mb);
    EXPECT_EQ(mb[13], 13.0f);
    EXPECT_EQ(effect->SetMatrix("boneFrame", m[0]), kEffectOk);  // 4x3 takes the first three columns
    effect->GetFloatArray("boneFrame", value, 12);
    EXPECT_EQ(value[3], 4.0f);
    effect->GetMatrix("boneFrame", mb);
    EXPECT_EQ(mb[3], 0.0f);
    EXPECT_EQ(effect->SetMatrixArray("lightMatrix", &m[0][0], 2), kEffectOk);
    float two[32];
    effect->GetMatrixArray("lightMatrix", two, 2);
    EXPECT_EQ(two[31], 31.0f);

    EXPECT_EQ(effect->SetFloat("useFog", 0.3f), kEffectOk);  // bools store 0 or 1
    EXPECT_EQ(FloatOf(*effect, "useFog"), 1.0f);
    EXPECT_EQ(effect->SetFloat("objectCount", 2.7f), kEffectOk);  // ints truncate
    EXPECT_EQ(FloatOf(*effect, "objectCount"), 2.0f);

    int a = 0, b = 0;
    EXPECT_EQ(effect->SetTexture("shadowAtlas", FakeTexture(a)), kEffectOk);
    const gfx::BaseTexture* t = nullptr;
    EXPECT_EQ(effect->GetTexture("shadowAtlas", t), kEffectOk);
    EXPECT_EQ(t, FakeTexture(a));

    // Wrong kinds and unknown names leave every value as it was.
    std::vector<float> before(12);
    effect->GetFloatArray("boneFrame", before.data(), 12);
    EXPECT_EQ(effect->SetFloat("noSuchName", 1.0f), kEffectNotFound);
    EXPECT_EQ(effect->SetVector("noSuchName", v), kEffectNotFound);
    EXPECT_EQ(effect->SetVectorArray("noSuchName", v, 1), kEffectNotFound);
    EXPECT_EQ(effect->SetMatrix("noSuchName", m[0]), kEffectNotFound);
    EXPECT_EQ(effect->SetMatrixArray("noSuchName", m[0], 1), kEffectNotFound);
    EXPECT_EQ(effect->SetTexture("noSuchName", FakeTexture(b)), kEffectNotFound);
    EXPECT_EQ(effect->SetVector("boneFrame", v), kEffectInvalidCall);
    EXPECT_EQ(effect->SetFloat("shadowAtlas", 1.0f), kEffectInvalidCall);
    EXPECT_EQ(effect->SetTexture("fogMult", FakeTexture(b)), kEffectInvalidCall);
    EXPECT_EQ(effect->SetTexture("shadowSampler", FakeTexture(b)), kEffectInvalidCall);
    EXPECT_EQ(effect->SetFloatArray("fogMult", nullptr, 1), kEffectInvalidCall);
    std::vector<float> after(12);
    effect->GetFloatArray("boneFrame", after.data(), 12);
    EXPECT_EQ(before, after);
    effect->GetTexture("shadowAtlas", t);
    EXPECT_EQ(t, FakeTexture(a));
    EXPECT_EQ(effect->GetFloat("noSuchName", value[0]), kEffectNotFound);
}

TEST(RuntimeEffect, StructParametersAreSetAndReadByMemberElementAndWhole)
{
    std::unique_ptr<RuntimeEffect> effect = FromSource(
        "struct Attenuation { float range; int steps; };\n"
        "struct Light { float3 colour; bool on; Attenuation fall[2]; float4x3 frame; };\n"
        "typedef Light Lamp;\n"
        "Light light = { float3(0.5, 0.25, 1), 2.0, {4, 3.7, 5, -1.5}, (float4x3)0 };\n"
        "Lamp lights[2];\n"
        "float weights[3] = {1, 2, 3};\n"
        "Lamp cast[2] = (Light)2.5;\n");
    ASSERT_TRUE(effect);
    const gfx::EffectDescription& d = effect->Description();
    ASSERT_EQ(d.structTypes.size(), 2u); // each after those it holds
    EXPECT_EQ(d.structTypes[0].name, "Attenuation");
    EXPECT_EQ(d.structTypes[1].members.size(), 4u);
    // The initial value, each member as its type keeps it.
    EXPECT_EQ(effect->FindParameter("light")->defaults,
              (std::vector<float>{0.5f, 0.25f, 1, 1, 4, 3, 5, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(effect->FindParameter("lights")->defaults.size(), 40u);
    EXPECT_EQ(FloatOf(*effect, "cast[1].fall[1].steps"), 2.0f); // a cast: every value the number's
    EXPECT_EQ(FloatOf(*effect, "cast[1].on"), 1.0f);

    float v[4] = {};
    ASSERT_EQ(effect->GetVector("light.colour", v), kEffectOk);
    EXPECT_EQ(std::vector<float>(v, v + 4), (std::vector<float>{0.5f, 0.25f, 1, 0}));
    EXPECT_EQ(FloatOf(*effect, "light.fall[1].range"), 5.0f);
    EXPECT_EQ(FloatOf(*effect, "weights[2]"), 3.0f);

    const float red[4] = {1, 0, 0, 9};
    EXPECT_EQ(effect->SetVector("lights[1].colour", red), kEffectOk);
    EXPECT_EQ(effect->SetFloat("lights[1].on", 0.5f), kEffectOk);        // bools store 0 or 1
    EXPECT_EQ(effect->SetFloat("lights[1].fall[0].steps", 2.9f), kEffectOk); // ints truncate
    float m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = float(i);
    EXPECT_EQ(effect->SetMatrix("lights[0].frame", m), kEffectOk); // 4x3: three columns of each row
    std::vector<float> all(40);
    ASSERT_EQ(effect->GetFloatArray("lights", all.data(), 40), kEffectOk);
    EXPECT_EQ(std::vector<float>(all.begin() + 8, all.begin() + 11), (std::vector<float>{0, 1, 2}));
    EXPECT_EQ(std::vector<float>(all.begin() + 20, all.begin() + 26), (std::vector<float>{1, 0, 0, 1, 0, 2}));

    // Whole, as the platform packs it: floats, ints and bools four bytes each, nothing between.
    for (const auto& [name, size] : {std::pair{"light", 80u}, {"lights", 160u}, {"light.fall[1]", 8u}}) {
        uint32_t bytes = 0;
        EXPECT_EQ(effect->ValueBytes(name, bytes), kEffectOk) << name;
        EXPECT_EQ(bytes, size) << name;
    }
    std::vector<uint8_t> packed(80);
    ASSERT_EQ(effect->GetValue("light", packed.data(), 80), kEffectOk);
    int32_t steps = 0;
    std::memcpy(&steps, packed.data() + 5 * 4, 4);
    EXPECT_EQ(steps, 3);
    const float range = 7.5f;
    const int32_t on = 5;
    std::memcpy(packed.data() + 3 * 4, &on, 4);
    std::memcpy(packed.data() + 4 * 4, &range, 4);
    ASSERT_EQ(effect->SetValue("lights[0]", packed.data(), 80), kEffectOk);
    EXPECT_EQ(FloatOf(*effect, "lights[0].on"), 1.0f);
    EXPECT_EQ(FloatOf(*effect, "lights[0].fall[0].range"), 7.5f);
    const int32_t four = 4;
    EXPECT_EQ(effect->SetValue("light.fall[0].steps", &four, 4), kEffectOk);
    EXPECT_EQ(FloatOf(*effect, "light.fall[0].steps"), 4.0f);

    // Names of no part, and calls that do not fit the part, change nothing.
    for (const char* name : {"light.nothing", "lights.colour", "lights[2].colour", "light[0]", "light.colour.x",
                             "lights[1]colour", "lights[ 1].colour", "light.", "weights[3]", "weights[-1]"})
        EXPECT_EQ(effect->SetFloat(name, 1.0f), kEffectNotFound) << name;
    EXPECT_EQ(effect->SetFloat("light", 1.0f), kEffectInvalidCall);
    EXPECT_EQ(effect->SetVector("lights[1]", red), kEffectInvalidCall);
    EXPECT_EQ(effect->SetVector("light.frame", red), kEffectInvalidCall);
    EXPECT_EQ(effect->SetValue("light", packed.data(), 79), kEffectInvalidCall);
    EXPECT_EQ(effect->GetValue("light", packed.data(), 79), kEffectInvalidCall);
    EXPECT_EQ(effect->SetValue("light", nullptr, 80), kEffectInvalidCall);
    std::vector<float> after(40);
    effect->GetFloatArray("lights", after.data(), 40);
    EXPECT_EQ(std::vector<float>(after.begin() + 20, after.end()), std::vector<float>(all.begin() + 20, all.end()));

    // The same from the compiled bytes.
    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(d);
    std::unique_ptr<RuntimeEffect> read;
    std::string errors;
    ASSERT_EQ(RuntimeEffect::Create(compiled.data(), compiled.size(), {}, read, errors), kEffectOk) << errors;
    EXPECT_EQ(read->Description(), d);
    EXPECT_EQ(FloatOf(*read, "light.fall[1].range"), 5.0f);
}

TEST(RuntimeEffect, AStructThatHoldsNoNumbersIsRefusedAsAParameterOnly)
{
    // A struct the shaders pass between stages may hold what a parameter cannot.
    EXPECT_TRUE(FromSource("struct Io { float4 p : POSITION; linear centroid float2 t[2] : TEXCOORD0; sampler s; };\n"
                           "static Io kept;\n"));
    const std::pair<const char*, const char*> refused[] = {
        {"struct S { float4 a; sampler s; };\nS p;\n",
         "bad.fx(2,3): error X3000: 'p': a parameter of struct 'S' is not taken here: its member's type 'sampler' holds no numbers"},
        {"struct S { float4 a; };\nstruct T { S s; texture t; };\nT p;\n", "its member's type 'texture' holds no numbers"},
        {"struct S { float a; };\nS p[] = {1, 2, 3};\nstruct T { float2 a; };\nT q[] = {1, 2, 3};\n",
         "bad.fx(4,9): error X3017: the initial value of 'q' gives 3 values, not whole elements of 'T' (2 values each)"},
        {"struct S { float a; float a; };\nS p;\n", "it has two members named 'a'"},
        {"struct S { float a[2][2]; };\nS p;\n", "its member 'a' is an array of arrays"},
        {"struct S { float a[Missing]; };\nS p;\n", "the array size of its member 'a' is not a constant"},
        {"struct S { float a; };\nS p = {1, 2};\n", "bad.fx(2,7)"},
        {"struct S { float a; };\nS p = (S)float2(1, 2);\n",
         "bad.fx(2,10): error X3017: 'p': a cast to struct 'S' takes one number for every value"},
    };
    for (const auto& [source, message] : refused)
        EXPECT_NE(Refused(source).find(message), std::string::npos) << source << "\n" << Refused(source);
}

TEST(RuntimeEffect, ElementsOfArraysOfStringsAndTexturesAreReachedByIndex)
{
    std::unique_ptr<RuntimeEffect> source = FromSource(
        "string Fallbacks[] < string UIName = \"F\"; > = { {\"a\", \"b\", \"\"}, {\"c\", \"\"}, };\n"
        "string Unset[2]; float Number; texture Maps[2]; sampler s = sampler_state { Texture = <Maps[1]>; };\n");
    ASSERT_TRUE(source);
    const std::vector<uint8_t> bytes = gfx::WriteCompiledEffect(source->Description());
    std::unique_ptr<RuntimeEffect> effect = FromSource(std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->Description(), source->Description());
    EXPECT_EQ(effect->FindParameter("Fallbacks")->annotations.at(0).text, "F");
    for (const auto& [name, value] : {std::pair{"Fallbacks", "a"}, {"Fallbacks[3]", "c"}, {"Fallbacks[4]", ""},
                                      {"Unset[1]", ""}}) {
        std::string_view got = "stale";
        EXPECT_EQ(effect->GetString(name, got), kEffectOk) << name;
        EXPECT_EQ(got, value) << name;
    }
    std::string_view none;
    EXPECT_EQ(effect->GetString("Fallbacks[5]", none), kEffectNotFound);
    EXPECT_EQ(effect->GetString("Number", none), kEffectInvalidCall);
    int first = 0, second = 0;
    EXPECT_EQ(effect->SetTexture("Maps[1]", FakeTexture(second)), kEffectOk);
    EXPECT_EQ(effect->SetTexture("Maps", FakeTexture(first)), kEffectOk); // element 0
    EXPECT_EQ(effect->SetTexture("Maps[2]", FakeTexture(first)), kEffectNotFound);
    const gfx::BaseTexture* got = nullptr;
    EXPECT_EQ(effect->GetTexture("Maps[1]", got), kEffectOk);
    EXPECT_EQ(got, FakeTexture(second));
}

TEST(RuntimeEffect, TechniquesAreChosenByName)
{
    std::unique_ptr<RuntimeEffect> effect = Grammar();
    ASSERT_EQ(effect->TechniqueCount(), 3u);
    EXPECT_EQ(effect->CurrentTechnique()->name, "depth");  // the first is current
    EXPECT_EQ(effect->SetTechnique("diff"), kEffectOk);
    EXPECT_EQ(effect->CurrentTechnique()->name, "diff");
    EXPECT_EQ(effect->SetTechnique("drawShadow"), kEffectNotFound);
    EXPECT_EQ(effect->CurrentTechnique()->name, "diff");
    EXPECT_EQ(effect->ValidateTechnique("post"), kEffectOk);
    EXPECT_EQ(effect->ValidateTechnique("drawShadow"), kEffectNotFound);

    std::unique_ptr<RuntimeEffect> empty = FromSource("technique none {}\n");
    EXPECT_EQ(empty->ValidateTechnique("none"), kEffectInvalidCall);
    std::unique_ptr<RuntimeEffect> bare = FromSource("float x;\n");
    uint32_t passes = 99;
    EXPECT_EQ(bare->CurrentTechnique(), nullptr);
    EXPECT_EQ(bare->Begin(passes), kEffectInvalidCall);
}

TEST(RuntimeEffect, PassesHandTheDeviceTheValuesAtBeginPassAndCommit)
{
    std::unique_ptr<RuntimeEffect> effect = Grammar();
    std::vector<const gfx::EffectBinding*> bound;
    std::vector<gfx::EffectBinding> seen;
    effect->SetBindHook([&](const gfx::EffectBinding* b) {
        bound.push_back(b);
        if (b)
            seen.push_back(*b);
    });
    ASSERT_EQ(effect->SetTechnique("diff"), kEffectOk);
    uint32_t passes = 0;
    EXPECT_EQ(effect->BeginPass(0), kEffectInvalidCall);  // not begun
    ASSERT_EQ(effect->Begin(passes), kEffectOk);
    EXPECT_EQ(passes, 3u);
    EXPECT_EQ(effect->CommitChanges(), kEffectInvalidCall);  // no pass yet
    EXPECT_EQ(effect->BeginPass(3), kEffectInvalidCall);
    effect->SetFloat("fogMult", 2.0f);
    ASSERT_EQ(effect->BeginPass(1), kEffectOk);
    EXPECT_EQ(effect->BeginPass(2), kEffectInvalidCall);  // one pass at a time
    EXPECT_EQ(effect->ActivePass(), 1);
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_EQ(bound[0], &effect->CurrentBinding());
    EXPECT_EQ(seen[0].technique, "diff");
    EXPECT_EQ(seen[0].pass, 1u);
    ASSERT_NE(Uploaded(seen[0], "fogMult"), nullptr);
    EXPECT_EQ(Uploaded(seen[0], "fogMult")->values, std::vector<float>{2.0f});
    EXPECT_EQ(Uploaded(seen[0], "MatWorldViewProj")->values.size(), 16u);
    EXPECT_EQ(Uploaded(seen[0], "shadowSampler"), nullptr);
    EXPECT_EQ(Uploaded(seen[0], "effectName"), nullptr);
    ASSERT_EQ(seen[0].textures.size(), 4u);
    EXPECT_EQ(seen[0].textures[0].name, "shadowAtlas");
    EXPECT_EQ(seen[0].textures[0].texture, nullptr);

    // Values set inside a pass reach the device only with CommitChanges.
    int tex = 0;
    effect->SetFloat("fogMult", 3.0f);
    effect->SetTexture("shadowAtlas", FakeTexture(tex));
    EXPECT_EQ(Uploaded(effect->CurrentBinding(), "fogMult")->values[0], 2.0f);
    ASSERT_EQ(effect->CommitChanges(), kEffectOk);
    EXPECT_EQ(Uploaded(seen[1], "fogMult")->values[0], 3.0f);
    EXPECT_EQ(seen[1].textures[0].texture, FakeTexture(tex));
    EXPECT_EQ(seen[1].pass, 1u);

    // The renderer's order: EndPass, Begin again, BeginPass of the next pass.
    EXPECT_EQ(effect->EndPass(), kEffectOk);
    EXPECT_EQ(bound.back(), nullptr);
    EXPECT_EQ(effect->EndPass(), kEffectInvalidCall);
    EXPECT_EQ(effect->Begin(passes), kEffectOk);
    EXPECT_EQ(effect->BeginPass(2), kEffectOk);
    EXPECT_EQ(seen.back().pass, 2u);
    EXPECT_EQ(effect->End(), kEffectOk);  // ends the pass too
    EXPECT_EQ(bound.back(), nullptr);
    EXPECT_FALSE(effect->IsBegun());
    EXPECT_EQ(effect->End(), kEffectInvalidCall);
}

TEST(RuntimeEffect, APassSetsItsStatesOnTheDeviceInOrderAndTheyStayAfterIt)
{
    effect_test::EffectOnDevice on(
        "texture T;\n"
        "sampler2D S = sampler_state { Texture = <T>; MinFilter = Linear; AddressU = Mirror; };\n"
        "float4 P(float2 uv : TEXCOORD0) : COLOR { return tex2D(S, uv); }\n"
        "technique t { pass p { CullMode = None; LightEnable[1] = true; MaterialPower = 2; Texture[3] = <T>;\n"
        "  PixelShader = compile ps_3_0 P(); ZFunc = Greater; LightRange[1] = 5; } }\n");
    gfx::Device& device = *on.test.device;
    std::unique_ptr<RuntimeEffect>& effect = on.effect;
    gfx::Texture* first = nullptr;
    gfx::Texture* second = nullptr;
    ASSERT_EQ(gfx::kOk, device.CreateTexture(2, 2, 1, 0, gfx::kFormatA8R8G8B8, gfx::kPoolManaged, &first));
    ASSERT_EQ(gfx::kOk, device.CreateTexture(2, 2, 1, 0, gfx::kFormatA8R8G8B8, gfx::kPoolManaged, &second));
    effect->SetTexture("T", first);
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(on.BeginPass());
    // In the pass's order; the sampler's states and texture where the shader is
    // set, on the unit the program gave it; the light and material whole, last.
    EXPECT_EQ(record.Names(), (std::vector<std::string>{"SetRenderState", "LightEnable", "SetTexture", "SetTexture",
                                                        "SetSamplerState", "SetSamplerState", "SetRenderState",
                                                        "SetLight", "SetMaterial", "BindEffect"}));
    EXPECT_EQ(record.Calls("SetTexture")[0].args, (std::vector<uint64_t>{3, gfx::detail::Arg(first)}));
    EXPECT_EQ(record.Calls("SetSamplerState")[1].args, (std::vector<uint64_t>{0, gfx::kSampAddressU, 2}));
    gfx::Light light;
    ASSERT_EQ(device.GetLight(1, &light), gfx::kOk);
    EXPECT_EQ(light.range, 5.0f);
    EXPECT_EQ(light.type, gfx::kLightDirectional); // members not written keep their defaults
    bool enabled = false;
    EXPECT_EQ(device.GetLightEnable(1, &enabled), gfx::kOk);
    EXPECT_TRUE(enabled);

    // A commit sets again only what follows the parameters: here the texture.
    record.Clear();
    effect->SetTexture("T", second);
    ASSERT_EQ(effect->CommitChanges(), kEffectOk);
    EXPECT_EQ(record.Names(), (std::vector<std::string>{"SetTexture", "SetTexture", "BindEffect"}));
    record.Clear();
    ASSERT_EQ(effect->CommitChanges(), kEffectOk);
    EXPECT_EQ(record.Names(), std::vector<std::string>{"BindEffect"});

    // The states stay on the device after the pass.
    ASSERT_EQ(effect->End(), kEffectOk);
    on.begun = false;
    EXPECT_EQ(on.State(gfx::kRsCullMode), gfx::kCullNone);
    uint32_t value = 0;
    device.GetSamplerState(0, gfx::kSampMinFilter, &value);
    EXPECT_EQ(value, 2u);
    effect.reset();
    first->Release();
    second->Release();
}

TEST(RuntimeEffect, PassStatesReadMembersOfStructParameters)
{
    const std::string structs = "struct Fog { bool enabled; float4 colour; float range[2]; };\n"
                                "struct Settings { Fog fog; int ref; };\n"
                                "Settings settings = { true, float4(1, 0.5, 0, 1), 10, 20, 128.5 };\n"
                                "Fog fogs[2] = { false, (float4)0, 1, 2, true, (float4)1, 3, 4 };\n";
    effect_test::EffectOnDevice on(
        structs + "technique t { pass p { FogEnable = (settings.fog.enabled); FogStart = (settings.fog.range[0]);\n"
                  "  FogEnd = (fogs[1].range[1] * 2 + settings.fog.colour.g); AlphaRef = (settings.ref);\n"
                  "  StencilEnable = <fogs[1].enabled>; } }\n");
    ASSERT_TRUE(on.BeginPass());
    EXPECT_EQ(on.State(gfx::kRsFogEnable), 1u);
    EXPECT_EQ(on.FloatState(gfx::kRsFogStart), 10.0f);
    EXPECT_EQ(on.FloatState(gfx::kRsFogEnd), 8.5f);
    EXPECT_EQ(on.State(gfx::kRsAlphaRef), 128u);
    EXPECT_EQ(on.State(gfx::kRsStencilEnable), 1u);
    // Members set by name reach the states at a commit.
    EXPECT_EQ(on.effect->SetFloat("settings.fog.enabled", 0), kEffectOk);
    EXPECT_EQ(on.effect->SetFloat("fogs[1].range[1]", 5), kEffectOk);
    ASSERT_EQ(on.effect->CommitChanges(), kEffectOk);
    EXPECT_EQ(on.State(gfx::kRsFogEnable), 0u);
    EXPECT_EQ(on.FloatState(gfx::kRsFogEnd), 10.5f);

    const std::pair<const char*, const char*> refused[] = {
        {"FogEnable = (settings);", "'settings' is a struct: a value names one of its members"},
        {"FogEnable = (settings.fog);", "'settings.fog' is a struct: a value names one of its members"},
        {"FogEnable = (settings.nothing);", "'settings.nothing' names no member of the parameter"},
        {"FogStart = (settings.fog.range);", "'settings.fog.range' is an array: a value names its elements by number"},
        {"FogStart = (fogs[2].range[0]);", "'fogs[2]' names no member of the parameter"},
        {"FogStart = (fogs[settings.ref].range[0]);", "'fogs' is a struct: a value names one of its members, and its elements by number"},
    };
    for (const auto& [state, message] : refused) {
        const std::string errors = Refused(structs + "technique t { pass p { " + state + " } }\n");
        EXPECT_NE(errors.find(message), std::string::npos) << state << "\n" << errors;
    }
}

TEST(RuntimeEffect, ADestroyedEffectUnbindsItself)
{
    std::vector<const gfx::EffectBinding*> bound;
    {
        std::unique_ptr<RuntimeEffect> effect = Grammar();
        effect->SetBindHook([&](const gfx::EffectBinding* b) { bound.push_back(b); });
        uint32_t passes = 0;
        effect->Begin(passes);
        effect->BeginPass(0);
    }
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_EQ(bound.back(), nullptr);
}

} // namespace

namespace {

TEST(RuntimeEffect, PassesBindToTheDeviceWhichTheEffectKeepsAlive)
{
    gfx_test::TestDevice test;
    gfx::Device* device = test.device;
    const uint32_t refs = device->RefCount();
    platform::testing::GfxCallRecord record;
    std::unique_ptr<RuntimeEffect> effect = Grammar();
    effect->SetDevice(device);
    EXPECT_EQ(device->RefCount(), refs + 1);
    uint32_t passes = 0;
    ASSERT_EQ(effect->Begin(passes), kEffectOk);
    ASSERT_EQ(effect->BeginPass(0), kEffectOk);
    ASSERT_EQ(effect->CommitChanges(), kEffectOk);
    ASSERT_EQ(effect->EndPass(), kEffectOk);
    ASSERT_EQ(effect->BeginPass(0), kEffectOk);
    effect.reset();  // destroyed inside a pass
    EXPECT_EQ(device->RefCount(), refs);

    const auto bound = record.Calls("BindEffect");
    ASSERT_EQ(bound.size(), 5u);
    EXPECT_NE(bound[0].args.at(0), 0u);
    EXPECT_EQ(bound[1].args.at(0), bound[0].args.at(0));  // the same binding, refreshed
    EXPECT_EQ(bound[2].args.at(0), 0u);
    EXPECT_NE(bound[3].args.at(0), 0u);
    EXPECT_EQ(bound[4].args.at(0), 0u);
}

TEST(RuntimeEffect, ChangingTheDeviceInsideAPassMovesTheBinding)
{
    gfx_test::TestDevice first;
    gfx_test::TestDevice second;
    platform::testing::GfxCallRecord record;
    std::unique_ptr<RuntimeEffect> effect = Grammar();
    effect->SetDevice(first.device);
    uint32_t passes = 0;
    effect->Begin(passes);
    effect->BeginPass(0);
    effect->SetDevice(second.device);
    effect->SetDevice(nullptr);
    EXPECT_EQ(effect->GetDevice(), nullptr);
    const auto bound = record.Calls("BindEffect");
    ASSERT_EQ(bound.size(), 4u);
    EXPECT_NE(bound[0].args.at(0), 0u);  // first: bound
    EXPECT_EQ(bound[1].args.at(0), 0u);  // first: unbound
    EXPECT_NE(bound[2].args.at(0), 0u);  // second: bound
    EXPECT_EQ(bound[3].args.at(0), 0u);  // second: unbound
}

} // namespace
