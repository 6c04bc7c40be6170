// Every state of the effect system's table, written in a pass, reaches the
// device when the pass begins; every named value is known in any letter
// case; and unknown names, values and indices are refused where they stand.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/effect_compiler.h"
#include "platform/gfx/fx/effect_states.h"
#include "platform/gfx/fx/runtime_effect.h"
#include "testing/gfx_call_record.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace {

using namespace gfx;

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A value each state takes as written, and the words it comes to.
struct Written {
    std::string text;
    std::vector<uint32_t> words;
};

uint32_t Bits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

Written ValueFor(const StateInfo& state)
{
    const std::span<const NamedValue> names = StateValueNames(state.values);
    // The last named value, in lower case: names are matched in any case.
    if (!names.empty() && state.type != StateType::Bool)
        return {Lower(names.back().name), {names.back().value}};
    switch (state.type) {
    case StateType::Bool: return {"true", {1}};
    case StateType::Dword: return {"0x2A", {42}};
    case StateType::Int: return {"-2", {0xFFFFFFFEu}};
    case StateType::Float: return {"0.5", {Bits(0.5f)}};
    case StateType::Colour: return {"float4(1, 0.5, 0, 0.25)", {0x40FF8000u}};
    case StateType::Float3: return {"float3(1, 2, 3)", {Bits(1), Bits(2), Bits(3)}};
    case StateType::Float4:
    case StateType::Floats: return {"float4(1, 2, 3, 4)", {Bits(1), Bits(2), Bits(3), Bits(4)}};
    case StateType::Ints: return {"int4(1, -2, 3, 4)", {1, 0xFFFFFFFEu, 3, 4}};
    case StateType::Bools: return {"{ 1, 0, 1 }", {1, 0, 1}};
    case StateType::Matrix: {
        Written w{"float4x4(", {}};
        for (int i = 1; i <= 16; ++i) {
            w.text += std::to_string(i) + (i < 16 ? ", " : ")");
            w.words.push_back(Bits(float(i)));
        }
        return w;
    }
    case StateType::Texture: return {"<Picture>", {}};
    case StateType::Sampler: return {"(PictureSampler)", {}};
    case StateType::Shader: return {"NULL", {}};
    }
    return {};
}

// The words the device holds for `state` at `index`.
std::vector<uint32_t> Held(Device& device, const StateInfo& state, uint32_t index)
{
    const DeviceStates& s = device.States();
    uint32_t v = 0;
    switch (state.group) {
    case StateGroup::Render: device.GetRenderState(state.number, &v); return {v};
    case StateGroup::TextureStage: device.GetTextureStageState(index, state.number, &v); return {v};
    case StateGroup::Sampler: device.GetSamplerState(index, state.number, &v); return {v};
    case StateGroup::LightEnable: {
        bool on = false;
        device.GetLightEnable(index, &on);
        return {on ? 1u : 0u};
    }
    case StateGroup::Light: {
        Light light;
        EXPECT_EQ(kOk, device.GetLight(index, &light));
        const float* f = nullptr;
        size_t n = 1;
        switch (state.number) {
        case kLightType: return {light.type};
        case kLightDiffuse: f = light.diffuse.data(), n = 4; break;
        case kLightSpecular: f = light.specular.data(), n = 4; break;
        case kLightAmbient: f = light.ambient.data(), n = 4; break;
        case kLightPosition: f = light.position.data(), n = 3; break;
        case kLightDirection: f = light.direction.data(), n = 3; break;
        case kLightRange: f = &light.range; break;
        case kLightFalloff: f = &light.falloff; break;
        case kLightAttenuation0: f = &light.attenuation0; break;
        case kLightAttenuation1: f = &light.attenuation1; break;
        case kLightAttenuation2: f = &light.attenuation2; break;
        case kLightTheta: f = &light.theta; break;
        default: f = &light.phi; break;
        }
        std::vector<uint32_t> words(n);
        std::memcpy(words.data(), f, n * 4);
        return words;
    }
    case StateGroup::Material: {
        Material m;
        device.GetMaterial(&m);
        const Vector4* vectors[] = {&m.diffuse, &m.ambient, &m.specular, &m.emissive};
        if (state.number == kMaterialPower)
            return {Bits(m.power)};
        std::vector<uint32_t> words(4);
        std::memcpy(words.data(), vectors[state.number]->data(), 16);
        return words;
    }
    case StateGroup::Transform: {
        Matrix4 m{};
        device.GetTransform(state.number + index, &m);
        std::vector<uint32_t> words(16);
        std::memcpy(words.data(), m.data(), 64);
        return words;
    }
    case StateGroup::PatchSegments: return {Bits(s.nPatchSegments)};
    case StateGroup::VertexShaderConstant:
    case StateGroup::PixelShaderConstant: {
        const bool vertex = state.group == StateGroup::VertexShaderConstant;
        std::vector<uint32_t> words;
        if (state.type == StateType::Bools) {
            for (uint32_t r = index; r < index + 3 && r < kBoolConstants; ++r)
                words.push_back(vertex ? s.vertexBools[r] : s.pixelBools[r]);
            return words;
        }
        words.resize(4);
        const void* from = state.type == StateType::Ints ? static_cast<const void*>((vertex ? s.vertexInts : s.pixelInts)[index].data())
                           : vertex                     ? s.vertexFloats[index].data()
                                                        : s.pixelFloats[index].data();
        std::memcpy(words.data(), from, 16);
        return words;
    }
    default: return {};
    }
}

std::string Compiled(const std::string& source)
{
    EffectDescription d;
    std::string messages;
    CompileEffectSource(source, "s.fx", {}, {}, d, messages);
    return messages;
}

const char* kObjects = "texture Picture;\nsampler2D PictureSampler = sampler_state { Texture = <Picture>; };\n";

TEST(EffectStates, EveryStateOfTheTableReachesTheDeviceWhenThePassBegins)
{
    // One pass per group of states that do not share a place on the device:
    // each state at its highest index, with a value of its type.
    std::string source = kObjects;
    std::vector<const StateInfo*> written;
    source += "technique all { pass p {\n";
    for (const StateInfo& state : EffectStates()) {
        if (state.type == StateType::Shader)
            continue;
        const uint32_t index = state.indices ? state.indices - 1 : 0;
        // Constants that fill registers need room for them.
        const uint32_t at = state.type == StateType::Bools ? index - 2 : index;
        source += "    " + std::string(state.name) + (state.indices ? "[" + std::to_string(at) + "]" : "") + " = " +
                  ValueFor(state).text + ";\n";
        written.push_back(&state);
    }
    source += "} }\n";
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors;
    ASSERT_EQ(kEffectOk, RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors, "all.fx")) << errors;
    ASSERT_EQ(written.size(), effect->Description().techniques[0].passes[0].assignments.size());

    gfx_test::TestDevice test;
    Texture* picture = nullptr;
    ASSERT_EQ(kOk, test.device->CreateTexture(4, 4, 1, 0, kFormatA8R8G8B8, kPoolManaged, &picture));
    ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", picture));
    effect->SetDevice(test.device);
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, effect->Begin(passes));
    ASSERT_EQ(kEffectOk, effect->BeginPass(0));
    for (const StateInfo* state : written) {
        const uint32_t index = state->indices ? state->indices - 1 : 0;
        const uint32_t at = state->type == StateType::Bools ? index - 2 : index;
        if (state->type == StateType::Texture || state->type == StateType::Sampler) {
            BaseTexture* bound = nullptr;
            ASSERT_EQ(kOk, test.device->GetTexture(index, &bound));
            EXPECT_EQ(bound, picture) << state->name;
            SafeRelease(bound);
            continue;
        }
        EXPECT_EQ(Held(*test.device, *state, at), ValueFor(*state).words) << state->name;
    }
    effect->EndPass();
    effect->End();
    effect.reset();
    picture->Release();
}

TEST(EffectStates, EveryNamedValueIsKnownInAnyCaseAndCombinesWhereTheStateAllows)
{
    for (const StateInfo& state : EffectStates()) {
        for (const NamedValue& named : StateValueNames(state.values)) {
            EXPECT_EQ(NamedStateValue(state.values, Lower(named.name)), named.value) << state.name << " " << named.name;
            EXPECT_EQ(NamedStateValue(state.values, named.name), named.value);
        }
        EXPECT_EQ(FindEffectState(Lower(state.name)), &state);
        EXPECT_EQ(FindEffectState(state.group, state.number)->group, state.group);
    }
    EXPECT_EQ(FindEffectState("NoSuchState"), nullptr);
    // Combined values, with a number among them.
    const std::string source = "technique t { pass p { ColorWriteEnable = Red | BLUE | 8; Wrap0 = U | coord1;"
                               " ColorArg1[1] = Texture | Complement | AlphaReplicate; } }\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(CompileEffectSource(source, "c.fx", {}, {}, d, messages)) << messages;
    const std::vector<StateAssignment>& a = d.techniques[0].passes[0].assignments;
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0].words, std::vector<uint32_t>{13});
    EXPECT_EQ(a[1].words, std::vector<uint32_t>{3});
    EXPECT_EQ(a[2].words, std::vector<uint32_t>{0x32});
    EXPECT_EQ(a[2].index, 1u);
}

TEST(EffectStates, ValuesOfParametersAreEvaluatedWhenThePassBeginsAndOnlyChangesAreSetAtACommit)
{
    // The forms the platform's effects give values that are not constants.
    const std::string source = "bool zTest = true;\nbool bBlend = false;\nfloat fDestBlend = 2;\nbool backfacecull = true;\n"
                               "float4 gMaterialDiffuse = float4(1, 0.5, 0, 0.5);\nbool gTwoSided = true;\n"
                               "float4x4 getTextureTransform() { return float4x4(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0.5, 0.5, 0, 1); }\n"
                               "technique t { pass p {\n"
                               "  ZEnable = zTest; AlphaBlendEnable = <bBlend>; DestBlend = (fDestBlend);\n"
                               "  CullMode = backfacecull ? 1 : 3; StencilRef = ((gMaterialDiffuse.a < 0.9) && gTwoSided) ? 1 : 2;\n"
                               "  TextureTransform[0] = getTextureTransform(); FogColor = gMaterialDiffuse; PointSize = fDestBlend * 2;\n"
                               "} }\n";
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors;
    ASSERT_EQ(kEffectOk, RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors, "v.fx")) << errors;
    const std::vector<StateAssignment>& a = effect->Description().techniques[0].passes[0].assignments;
    ASSERT_EQ(a.size(), 8u);
    EXPECT_EQ(a[0].source, StateAssignment::Source::Expression);
    EXPECT_EQ(a[5].source, StateAssignment::Source::Constant); // the function's value is known now
    gfx_test::TestDevice test;
    effect->SetDevice(test.device);
    auto state = [&](uint32_t number) {
        uint32_t v = 0;
        test.device->GetRenderState(number, &v);
        return v;
    };
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, effect->Begin(passes));
    ASSERT_EQ(kEffectOk, effect->BeginPass(0));
    EXPECT_EQ(state(kRsZEnable), 1u);
    EXPECT_EQ(state(kRsAlphaBlendEnable), 0u);
    EXPECT_EQ(state(kRsDestBlend), 2u);
    EXPECT_EQ(state(kRsCullMode), 1u);
    EXPECT_EQ(state(kRsStencilRef), 1u);
    EXPECT_EQ(state(kRsFogColor), 0x80FF8000u);
    EXPECT_EQ(state(kRsPointSize), Bits(4.0f));
    Matrix4 m{};
    test.device->GetTransform(kTransformTexture0, &m);
    EXPECT_EQ(m[0], 2.0f);
    EXPECT_EQ(m[12], 0.5f);

    // Changed inside the pass: a commit sets what now differs, and only that.
    ASSERT_EQ(kEffectOk, effect->SetFloat("fDestBlend", 6));
    const float opaque[4] = {1, 0.5f, 0, 1};
    ASSERT_EQ(kEffectOk, effect->SetVector("gMaterialDiffuse", opaque));
    platform::testing::GfxCallRecord record;
    ASSERT_EQ(kEffectOk, effect->CommitChanges());
    EXPECT_EQ(state(kRsDestBlend), 6u);
    EXPECT_EQ(state(kRsStencilRef), 2u);
    EXPECT_EQ(state(kRsFogColor), 0xFFFF8000u);
    EXPECT_EQ(state(kRsPointSize), Bits(12.0f));
    EXPECT_EQ(record.Count("SetRenderState"), 4u);
    EXPECT_EQ(record.Count("SetTransform"), 0u);
    effect->End();

    // Begun again, every state is set whatever the device holds.
    record.Clear();
    ASSERT_EQ(kEffectOk, effect->Begin(passes));
    ASSERT_EQ(kEffectOk, effect->BeginPass(0));
    EXPECT_EQ(record.Count("SetRenderState"), 7u);
    EXPECT_EQ(record.Count("SetTransform"), 1u);
    effect->End();
}

TEST(EffectStates, UnknownNamesValuesIndicesAndKindsAreRefusedWhereTheyStand)
{
    struct Case {
        std::string pass; // inside `pass p { ... }`, on line 4 from column 24
        std::string message;
    } cases[] = {
        {"NoSuchState = 3;", "s.fx(4,24): error X3004: unknown state 'NoSuchState'"},
        {"CullMode = Bogus;", "s.fx(4,35): error X3004: unknown value 'Bogus' for state 'CullMode'"},
        {"ColorWriteEnable = Red | Purple;", "s.fx(4,49): error X3004: unknown value 'Purple' for state 'ColorWriteEnable'"},
        {"ZFunc = Less | Equal;", "s.fx(4,37): error X3000: values of state 'ZFunc' do not combine with '|'"},
        {"ZEnable[1] = true;", "s.fx(4,32): error X3005: state 'ZEnable' takes no index"},
        {"ColorOp[8] = Modulate;", "s.fx(4,32): error X3005: index 8 of state 'ColorOp' is out of range (0 to 7)"},
        {"MinFilter[16] = Linear;", "s.fx(4,34): error X3005: index 16 of state 'MinFilter' is out of range (0 to 15)"},
        {"Texture[0] = Level;", "s.fx(4,37): error X3017: state 'Texture' takes a texture, and 'Level' is not one"},
        {"Sampler[0] = <Picture>;", "s.fx(4,38): error X3017: state 'Sampler' takes a sampler, and 'Picture' is not one"},
        {"Texture[1] = 3;", "s.fx(4,37): error X3017: state 'Texture' takes a texture, not '3'"},
        {"PixelShader = 3;", "s.fx(4,38): error X3017: state 'PixelShader' takes a shader, not '3'"},
        {"Texture[0] = <Missing>;", "s.fx(4,38): error X3004: undeclared identifier 'Missing'"},
        {"LightPosition[0] = float4(1, 2, 3, 4) + 1;", "s.fx(4,43)"}, // a float4 gives its first three: accepted
        {"WorldTransform[0] = float4(1, 2, 3, 4);", "s.fx(4,44): error X3017: 'WorldTransform' takes 16 values, not 4 values"},
        {"BorderColor[0] = float3(1, 2, 3);", "s.fx(4,41): error X3017: 'BorderColor' takes a colour (one number or four channels), not 3 values"},
        {"PixelShaderConstant1[0] = float4x2(1, 2, 3, 4, 5, 6, 7, 8);", "s.fx(4,50): error X3017: 'PixelShaderConstant1' takes at most 4 values, not 8 values"},
        {"Lighting = ;", "s.fx(4,35): error X3000: syntax error: unexpected token ';'"},
        {"Sampler[0] = sampler_state { Texture = <Picture>; };", "s.fx(4,37): error X3000: state 'Sampler' cannot take a sampler_state block in a pass: declare a sampler with it"},
        {"PixelShader = asm { ps_2_0 mov oC0, c0 };", "s.fx(4,38): error X3000: pass 'p': assembly shaders (asm { ... }) are not supported; compile the shader from HLSL"},
        {"ZWriteEnable = compile ps_2_0 F();", "s.fx(4,24): error X3000: 'ZWriteEnable' cannot take a compiled shader"},
        {"WorldTransform[1] = float2(Level, 1);", "s.fx(4,44): error X3017: 'WorldTransform' takes 16 values, not 2 values"},
        {"VertexShaderConstantB[15] = { true, false };", "s.fx(4,52): error X3017: 'VertexShaderConstantB' from register 15 has room for 1 register, not 2"},
        {"ZEnable = <Picture>;", "s.fx(4,35): error X3025: 'Picture' is not a number: it has no value in an expression"},
    };
    for (const Case& c : cases) {
        const std::string source = std::string(kObjects) + "float Level;\ntechnique t { pass p { " + c.pass + " } }\n";
        const std::string messages = Compiled(source);
        if (c.message == "s.fx(4,43)")
            EXPECT_EQ(messages, "") << c.pass;
        else
            EXPECT_EQ(messages, c.message + "\n") << c.pass;
    }
    // In a sampler_state block: only un-indexed sampler states.
    const struct {
        std::string state;
        std::string message;
    } samplerCases[] = {
        {"MinFilter = Bogus;", "s.fx(1,52): error X3004: unknown value 'Bogus' for state 'MinFilter'"},
        {"ZEnable = true;", "s.fx(1,40): error X3004: 'ZEnable' is not a sampler state"},
        {"AddressU[1] = Clamp;", "s.fx(1,49): error X3005: a sampler_state block takes its states without an index"},
        {"Nothing = 1;", "s.fx(1,40): error X3004: unknown state 'Nothing'"},
    };
    for (const auto& c : samplerCases) {
        const std::string source = "texture T; sampler S = sampler_state { " + c.state + " };\n";
        EXPECT_EQ(Compiled(source), c.message + "\n") << c.state;
    }
}

} // namespace
