// Every state of the effect system's table, written in a pass, reaches the
// device when the pass begins; every named value is known in any letter
// case; and unknown names, values and indices are refused where they stand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/parser/effect_states.h"
#include "platform/gfx/fx/runtime/pass_states.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "platform/gfx/fx/parser/state_assignments.h"
#include "testing/gfx_call_record.h"
#include "tests/platform/gfx/device/gfx_test_device.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

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
    case StateGroup::Fvf: return {s.fvf};
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

const auto Compiled = effect_test::CompileMessages;
using effect_test::Described;

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
    effect_test::EffectOnDevice on(source);
    ASSERT_TRUE(on.effect);
    ASSERT_EQ(written.size(), on.effect->Description().techniques[0].passes[0].assignments.size());
    Device& device = *on.test.device;
    Texture* picture = nullptr;
    ASSERT_EQ(kOk, device.CreateTexture(4, 4, 1, 0, kFormatA8R8G8B8, kPoolManaged, &picture));
    ASSERT_EQ(kEffectOk, on.effect->SetTexture("Picture", picture));
    ASSERT_TRUE(on.BeginPass());
    for (const StateInfo* state : written) {
        const uint32_t index = state->indices ? state->indices - 1 : 0;
        const uint32_t at = state->type == StateType::Bools ? index - 2 : index;
        if (state->type == StateType::Texture || state->type == StateType::Sampler) {
            BaseTexture* bound = nullptr;
            ASSERT_EQ(kOk, device.GetTexture(index, &bound));
            EXPECT_EQ(bound, picture) << state->name;
            SafeRelease(bound);
            continue;
        }
        EXPECT_EQ(Held(device, *state, at), ValueFor(*state).words) << state->name;
    }
    on.effect->End();
    on.begun = false;
    on.effect.reset(); // before the texture it holds
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
                               " ColorArg1[1] = Texture | Complement | AlphaReplicate;"
                               " FVF = XYZ | NORMAL | TEX1; } }\n";
    const EffectDescription d = Described(source);
    ASSERT_FALSE(d.techniques.empty());
    const std::vector<StateAssignment>& a = d.techniques[0].passes[0].assignments;
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].words, std::vector<uint32_t>{13});
    EXPECT_EQ(a[1].words, std::vector<uint32_t>{3});
    EXPECT_EQ(a[2].words, std::vector<uint32_t>{0x32});
    EXPECT_EQ(a[2].index, 1u);
    EXPECT_EQ(a[3].words, std::vector<uint32_t>{0x112});
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
    effect_test::EffectOnDevice on(source);
    ASSERT_TRUE(on.effect);
    const std::vector<StateAssignment>& a = on.effect->Description().techniques[0].passes[0].assignments;
    ASSERT_EQ(a.size(), 8u);
    EXPECT_EQ(a[0].source, StateAssignment::Source::Expression);
    EXPECT_EQ(a[5].source, StateAssignment::Source::Constant); // the function's value is known now
    ASSERT_TRUE(on.BeginPass());
    EXPECT_EQ(on.State(kRsZEnable), 1u);
    EXPECT_EQ(on.State(kRsAlphaBlendEnable), 0u);
    EXPECT_EQ(on.State(kRsDestBlend), 2u);
    EXPECT_EQ(on.State(kRsCullMode), 1u);
    EXPECT_EQ(on.State(kRsStencilRef), 1u);
    EXPECT_EQ(on.State(kRsFogColor), 0x80FF8000u);
    EXPECT_EQ(on.FloatState(kRsPointSize), 4.0f);
    Matrix4 m{};
    on.test.device->GetTransform(kTransformTexture0, &m);
    EXPECT_EQ(m[0], 2.0f);
    EXPECT_EQ(m[12], 0.5f);

    // Changed inside the pass: a commit sets what now differs, and only that.
    ASSERT_EQ(kEffectOk, on.effect->SetFloat("fDestBlend", 6));
    const float opaque[4] = {1, 0.5f, 0, 1};
    ASSERT_EQ(kEffectOk, on.effect->SetVector("gMaterialDiffuse", opaque));
    platform::testing::GfxCallRecord record;
    ASSERT_EQ(kEffectOk, on.effect->CommitChanges());
    EXPECT_EQ(on.State(kRsDestBlend), 6u);
    EXPECT_EQ(on.State(kRsStencilRef), 2u);
    EXPECT_EQ(on.State(kRsFogColor), 0xFFFF8000u);
    EXPECT_EQ(on.FloatState(kRsPointSize), 12.0f);
    EXPECT_EQ(record.Count("SetRenderState"), 4u);
    EXPECT_EQ(record.Count("SetTransform"), 0u);
    on.effect->End();

    // Begun again, every state is set whatever the device holds.
    record.Clear();
    ASSERT_TRUE(on.BeginPass());
    EXPECT_EQ(record.Count("SetRenderState"), 7u);
    EXPECT_EQ(record.Count("SetTransform"), 1u);
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
        {"WorldTransform[0] = float4(1, 2, 3, 4);", "s.fx(4,44): error X3017: 'WorldTransform' takes 16 values or a smaller matrix, not 4 values"},
        {"BorderColor[0] = float3(1, 2, 3);", "s.fx(4,41): error X3017: 'BorderColor' takes a colour (one number or four channels), not 3 values"},
        {"PixelShaderConstant1[0] = float4x2(1, 2, 3, 4, 5, 6, 7, 8);", "s.fx(4,50): error X3017: 'PixelShaderConstant1' takes at most 4 values, not 8 values"},
        {"Lighting = ;", "s.fx(4,35): error X3000: syntax error: unexpected token ';'"},
        {"Sampler[0] = sampler_state { Texture = <Picture>; };", "s.fx(4,37): error X3000: state 'Sampler' cannot take a sampler_state block in a pass: declare a sampler with it"},
        {"PixelShader = asm { ps_2_0 mov oC0, c0 };", "s.fx(4,38): error X3000: pass 'p': assembly shaders (asm { ... }) are not supported; compile the shader from HLSL"},
        {"ZWriteEnable = compile ps_2_0 F();", "s.fx(4,24): error X3000: 'ZWriteEnable' cannot take a compiled shader"},
        {"WorldTransform[1] = float2(Level, 1);", "s.fx(4,44): error X3017: 'WorldTransform' takes 16 values or a smaller matrix, not 2 values"},
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

// The parameters' values as a test sets them, by parameter index.
class TestValues : public EffectValues {
public:
    explicit TestValues(const EffectDescription& d) : values(d.parameters.size()) {}
    const float* Values(uint32_t index, size_t& count) const override
    {
        ++reads;
        count = index < values.size() ? values[index].size() : 0;
        return count ? values[index].data() : nullptr;
    }
    BaseTexture* Texture(uint32_t, uint32_t) const override { return nullptr; }
    std::vector<std::vector<float>> values;
    mutable size_t reads = 0; // of any parameter's values
};

// Each index is checked against its own array: with a vertex and a pixel
// array side by side, a pixel index one past its array must not choose the
// next vertex element's first program. What is not a number, or negative,
// is named as it is.
TEST(EffectStates, AShaderArrayIndexIsCheckedAgainstItsOwnArray)
{
    const EffectDescription d = Described(
        "float vi = 0;\nfloat pi = 0;\n"
        "float4 V(float4 x : POSITION, uniform float k) : POSITION { return x * k; }\n"
        "float4 P(uniform float k) : COLOR { return k; }\n"
        "VertexShader vs[3] = { compile vs_3_0 V(1), compile vs_3_0 V(2), compile vs_3_0 V(3) };\n"
        "PixelShader ps[2] = { compile ps_3_0 P(1), compile ps_3_0 P(2) };\n"
        "technique t { pass q { VertexShader = (vs[vi]); PixelShader = (ps[pi]); } }\n");
    ASSERT_FALSE(d.techniques.empty());
    ASSERT_EQ(d.techniques[0].passes[0].choicePrograms.size(), 6u);
    PassStates states(d);
    TestValues values(d);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const struct {
        float vertex, pixel;
        int chosen; // the program's place among the six, or -1
        const char* why;
    } cases[] = {
        {0, 0, 0, ""},
        {2, 1, 5, ""},
        {1.75f, 0.5f, 2, ""}, // truncated toward zero
        {0, 2, -1, "index 2 of shader array 'ps' is out of range (0 to 1)"},
        {1, 2, -1, "index 2 of shader array 'ps' is out of range (0 to 1)"},
        {3, 0, -1, "index 3 of shader array 'vs' is out of range (0 to 2)"},
        {-0.5f, 0, -1, "index -0.5 of shader array 'vs' is out of range (0 to 2)"},
        {0, -1, -1, "index -1 of shader array 'ps' is out of range (0 to 1)"},
        {nan, 0, -1, "the index of shader array 'vs' is not a number"},
        {0, nan, -1, "the index of shader array 'ps' is not a number"},
        {infinity, 0, -1, "index infinity of shader array 'vs' is out of range (0 to 2)"},
        {-infinity, 0, -1, "index -infinity of shader array 'vs' is out of range (0 to 2)"},
        {3e30f, 0, -1, "index 2.99999989e+30 of shader array 'vs' is out of range (0 to 2)"},
    };
    for (const auto& c : cases) {
        values.values[0] = {c.vertex};
        values.values[1] = {c.pixel};
        std::string why;
        const PassProgram* program = states.Program(0, 0, values, why);
        if (c.chosen < 0) {
            EXPECT_EQ(program, nullptr) << c.vertex << ", " << c.pixel;
            EXPECT_EQ(why, c.why);
        } else {
            EXPECT_EQ(program, &*d.techniques[0].passes[0].choicePrograms[size_t(c.chosen)]) << why;
        }
    }
}

// A sampler's values are worked out once a begin or commit, however many of
// the pass's states and its program name it: its parameter is read once.
TEST(EffectStates, ASamplerNamedByManyStatesIsWorkedOutOnceABegin)
{
    std::string pass;
    for (int i = 0; i < 1000; ++i)
        pass += "Sampler[" + std::to_string(i % 16) + "] = (S); ";
    const EffectDescription d =
        Described("float Bias = 1;\nsampler2D S = sampler_state { MipMapLodBias = (Bias); };\n"
                  "float4 P(float2 t : TEXCOORD0) : COLOR { return tex2D(S, t); }\n"
                  "technique t { pass p { " + pass + "PixelShader = compile ps_3_0 P(); } }\n");
    ASSERT_FALSE(d.techniques.empty());
    PassStates states(d);
    TestValues values(d);
    values.values[0] = {2.5f};
    gfx_test::TestDevice test;
    for (const bool commit : {false, true}) {
        values.reads = 0;
        states.Apply(*test.device, 0, 0, *d.techniques[0].passes[0].program, values, commit);
        EXPECT_EQ(values.reads, 1u) << commit;
    }
    for (uint32_t unit = 0, bias = 0; unit < 16; ++unit)
        EXPECT_TRUE(test.device->GetSamplerState(unit, kSampMipMapLodBias, &bias) == kOk && bias == Bits(2.5f)) << unit;
}

// A parameter that is infinite makes an index that is not a number: the
// pass is refused in words when it begins, and a constant one at compile.
TEST(EffectStates, AShaderArrayIndexThatIsNotANumberIsRefusedInWords)
{
    const std::string head = "float p = 1e38 * 10;\n"
                             "float4 V(float4 x : POSITION, uniform float k) : POSITION { return x * k; }\n"
                             "VertexShader vs[2] = { compile vs_3_0 V(1), compile vs_3_0 V(2) };\n";
    effect_test::EffectOnDevice on(head + "technique t { pass q { VertexShader = (vs[p - p]); } }\n");
    ASSERT_TRUE(on.effect);
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, on.effect->Begin(passes));
    testing::internal::CaptureStdout();
    EXPECT_EQ(kEffectInvalidCall, on.effect->BeginPass(0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Effect: pass 'q' of technique 't' is not drawn: the index of shader array 'vs' is not a number\n");
    on.effect->End();

    EXPECT_EQ(Compiled("static const float c = 1e38 * 10;\n" + head +
                       "technique t { pass q { VertexShader = (vs[c - c]); } }\n"),
              "s.fx(5,45): error X3025: the value is not a number: infinity - infinity\n");
    EXPECT_EQ(Compiled(head + "technique t { pass q { VertexShader = (vs[-0.5]); } }\n"),
              "s.fx(4,43): error X3005: index -0.5 of 'vs' is out of range (0 to 1)\n");
}

// A state's index is a constant expression; one that is not a whole number
// in range, or names a parameter, is refused in words.
TEST(EffectStates, AStateIndexIsAConstantExpression)
{
    const std::string head = "float Level;\nstatic const int Two = 2;\n";
    effect_test::EffectOnDevice on(head + "technique t { pass p { LightEnable[1+1] = true; LightEnable[Two * 2 - 1] = "
                                          "true; ColorOp[(int)1.5] = Add; } }\n");
    ASSERT_TRUE(on.BeginPass());
    for (uint32_t light = 0; light < 5; ++light) {
        bool enabled = false;
        on.test.device->GetLightEnable(light, &enabled);
        EXPECT_EQ(enabled, light == 2 || light == 3) << light;
    }
    uint32_t op = 0;
    on.test.device->GetTextureStageState(1, kTssColorOp, &op);
    EXPECT_EQ(op, 7u);

    const std::pair<const char*, const char*> cases[] = {
        {"LightEnable[Level] = true;", "s.fx(3,36): error X3011: the index of state 'LightEnable' names the parameter 'Level': its value is not known when the effect is compiled"},
        {"LightEnable[0.5] = true;", "s.fx(3,36): error X3005: the index of state 'LightEnable' is not a whole number: 0.5"},
        {"LightEnable[1 - 2] = true;", "s.fx(3,36): error X3005: index -1 of state 'LightEnable' is out of range"},
        {"LightEnable[1e30] = true;", "s.fx(3,36): error X3005: index 1.00000002e+30 of state 'LightEnable' is out of range"},
        {"LightEnable[256] = true;", "s.fx(3,36): error X3005: index 256 of state 'LightEnable' is out of range (0 to 255)"},
        {"LightEnable[int2(1, 2)] = true;", "s.fx(3,36): error X3005: the index of state 'LightEnable' is one number, not 'int2'"},
        {"LightEnable[1 +] = true;", "s.fx(3,39): error X3000: syntax error: unexpected token ']'"},
    };
    for (const auto& [pass, message] : cases)
        EXPECT_EQ(Compiled(head + "technique t { pass p { " + pass + " } }\n"), std::string(message) + "\n") << pass;
}

// A commit after the index chose another program sets that program's
// samplers whole: their constant states too, not only what changed.
TEST(EffectStates, ACommitAfterTheProgramChangedSetsItsSamplersWhole)
{
    const std::string source =
        "float Which = 0;\n"
        "sampler2D Near = sampler_state { MinFilter = Point; MagFilter = Point; };\n"
        "sampler2D Far = sampler_state { MinFilter = Linear; MagFilter = Anisotropic; };\n"
        "float4 ReadNear(float2 t : TEXCOORD0) : COLOR { return tex2D(Near, t); }\n"
        "float4 ReadFar(float2 t : TEXCOORD0) : COLOR { return tex2D(Far, t); }\n"
        "PixelShader Reads[2] = { compile ps_3_0 ReadNear(), compile ps_3_0 ReadFar() };\n"
        "technique t { pass p { PixelShader = (Reads[Which]); } }\n";
    effect_test::EffectOnDevice on(source);
    ASSERT_TRUE(on.BeginPass());
    // Point, then linear and anisotropic, then point again.
    for (auto [which, min, mag] : {std::tuple{-1.0f, 1u, 1u}, {1.0f, 2u, 3u}, {0.0f, 1u, 1u}}) {
        if (which >= 0) {
            ASSERT_EQ(kEffectOk, on.effect->SetFloat("Which", which));
            ASSERT_EQ(kEffectOk, on.effect->CommitChanges());
        }
        uint32_t got[2] = {};
        on.test.device->GetSamplerState(0, kSampMinFilter, &got[0]);
        on.test.device->GetSamplerState(0, kSampMagFilter, &got[1]);
        EXPECT_EQ(std::pair(got[0], got[1]), std::pair(min, mag)) << which;
    }
}

// A pass sets a light and the material whole: the members it writes, the
// others at their defaults, whatever the device held before.
TEST(EffectStates, LightsAndTheMaterialAreSetWhole)
{
    const std::string source = "technique t { pass p {\n"
                               "  LightPosition[1] = float3(1, 2, 3); LightRange[1] = 50; LightDiffuse[2] = float4(0, 1, 0, 1);\n"
                               "  MaterialPower = 8;\n"
                               "} }\n";
    effect_test::EffectOnDevice on(source);
    Device& device = *on.test.device;
    const Light held{.type = kLightPoint, .diffuse = {1, 0, 0, 1}, .range = 7, .attenuation1 = 0.5f};
    ASSERT_EQ(kOk, device.SetLight(1, &held));
    ASSERT_EQ(kOk, device.SetLight(2, &held));
    const Material material{.diffuse = {1, 1, 1, 1}, .power = 2};
    ASSERT_EQ(kOk, device.SetMaterial(&material));
    ASSERT_TRUE(on.BeginPass());
    Light one, two;
    ASSERT_EQ(kOk, device.GetLight(1, &one));
    ASSERT_EQ(kOk, device.GetLight(2, &two));
    EXPECT_TRUE(one == (Light{.position = {1, 2, 3}, .range = 50})); // diffuse at its default, 1, 1, 1, 0
    EXPECT_TRUE(two == (Light{.diffuse = {0, 1, 0, 1}}));
    Material set;
    ASSERT_EQ(kOk, device.GetMaterial(&set));
    EXPECT_TRUE(set == (Material{.power = 8}));
}

// A state value may name an element of an array parameter, in angle
// brackets or in parentheses, by a constant index or by a parameter.
TEST(EffectStates, AStateValueNamesAnArraysElement)
{
    const std::string source = "float Sizes[3] = { 1, 2, 3 };\nint Which = 1;\n"
                               "technique t { pass p { PointSize = <Sizes[2]>; FogDensity = (Sizes[Which]); "
                               "FogStart = <Sizes[Which - 1] * 4>; } }\n";
    effect_test::EffectOnDevice on(source);
    ASSERT_TRUE(on.BeginPass());
    EXPECT_EQ(on.FloatState(kRsPointSize), 3.0f);
    EXPECT_EQ(on.FloatState(kRsFogDensity), 2.0f);
    EXPECT_EQ(on.FloatState(kRsFogStart), 4.0f);
    ASSERT_EQ(kEffectOk, on.effect->SetFloat("Which", 2));
    ASSERT_EQ(kEffectOk, on.effect->CommitChanges());
    EXPECT_EQ(on.FloatState(kRsFogDensity), 3.0f);
    EXPECT_EQ(on.FloatState(kRsFogStart), 8.0f);
    EXPECT_EQ(Compiled("float Sizes[3];\ntechnique t { pass p { PointSize = <Sizes[3]>; } }\n"),
              "s.fx(2,42): error X3504: array index out of bounds: 3 of 0 to 2\n");
}

// A transform given a smaller matrix takes it in its top left, the rest
// zero, whether the value is constant or comes from a parameter.
TEST(EffectStates, ASmallerMatrixIsWidenedForATransform)
{
    const std::string source = "float3x3 Rotation = float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);\n"
                               "technique t { pass p {\n"
                               "  TextureTransform[0] = float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);\n"
                               "  TextureTransform[1] = Rotation;\n"
                               "  TextureTransform[2] = float4x3(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);\n"
                               "  TextureTransform[3] = float2x4(1, 2, 3, 4, 5, 6, 7, 8);\n"
                               "} }\n";
    effect_test::EffectOnDevice on(source);
    ASSERT_TRUE(on.BeginPass());
    auto transform = [&](uint32_t n) {
        Matrix4 m{};
        on.test.device->GetTransform(kTransformTexture0 + n, &m);
        return std::vector<float>(m.begin(), m.end());
    };
    const std::vector<float> three = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0};
    EXPECT_EQ(transform(0), three);
    EXPECT_EQ(transform(1), three);
    EXPECT_EQ(transform(2), (std::vector<float>{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}));
    EXPECT_EQ(transform(3), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// Numbers that no integer holds become the words of a state defined: NaN,
// infinities and values past either end.
TEST(EffectStates, ValuesNoIntegerHoldsBecomeDefinedWords)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const StateInfo* dword = FindEffectState("StencilRef");
    const StateInfo* colour = FindEffectState("TextureFactor");
    const StateInfo* ints = FindEffectState("VertexShaderConstantI");
    ASSERT_TRUE(dword && colour && ints);
    const struct {
        double value;
        uint32_t word;
        uint32_t channel; // of a colour's red from that value
    } cases[] = {
        {nan, 0, 0},
        {infinity, 0xFFFFFFFFu, 255},
        {-infinity, 0, 0},
        {1e20, 0xFFFFFFFFu, 255},
        {-1e20, 0x80000000u, 0},
        {-1, 0xFFFFFFFFu, 0},
        {3.9, 3, 255},
        {-2.5, 0xFFFFFFFEu, 0},
        {4294967295.5, 0xFFFFFFFFu, 255},
        {0.5, 0, 128},
    };
    const ValueShape one{}, four{.columns = 4};
    for (const auto& c : cases) {
        std::vector<uint32_t> words;
        std::string why;
        ASSERT_TRUE(StateWords(*dword, 0, one, &c.value, words, why)) << why;
        EXPECT_EQ(words, std::vector<uint32_t>{c.word}) << c.value;
        const double channels[4] = {c.value, 0, 0, 1};
        ASSERT_TRUE(StateWords(*colour, 0, four, channels, words, why)) << why;
        EXPECT_EQ(words, std::vector<uint32_t>{0xFF000000u | c.channel << 16}) << c.value;
        const double fours[4] = {c.value, c.value, c.value, c.value};
        ASSERT_TRUE(StateWords(*ints, 0, four, fours, words, why)) << why;
        EXPECT_EQ(words, std::vector<uint32_t>(4, c.word)) << c.value;
    }
}

} // namespace
