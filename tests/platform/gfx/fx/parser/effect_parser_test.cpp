#include "platform/gfx/fx/parser/effect_parser.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/window/close_check.h"
#include "platform/window/close_signals.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

namespace {

using gfx::EffectDescription;
using gfx::EffectParameter;
using gfx::EffectParameterType;

const EffectParameter& Param(const EffectDescription& d, const std::string& name)
{
    for (const EffectParameter& p : d.parameters)
        if (p.name == name)
            return p;
    static EffectParameter none;
    ADD_FAILURE() << "no parameter " << name;
    return none;
}

std::string Repeat(const std::string& s, int times)
{
    std::string out;
    for (int k = 0; k < times; ++k)
        out += s;
    return out;
}

bool Has(const EffectDescription& d, const std::string& name)
{
    for (const EffectParameter& p : d.parameters)
        if (p.name == name)
            return true;
    return false;
}

EffectDescription CompileGrammar(const std::vector<gfx::EffectMacro>& defines)
{
    EffectDescription d;
    std::string messages;
    std::string path = effect_test::FixtureDir() + "grammar.fx";
    EXPECT_TRUE(gfx::CompileEffectSource(effect_test::Fixture("grammar.fx"), path, defines,
                                         effect_test::FileReader(), d, messages))
        << messages;
    return d;
}

std::string ParseError(const std::string& source)
{
    EffectDescription d;
    std::string messages;
    EXPECT_FALSE(gfx::ParseEffect(source, "bad.fx", d, messages)) << source;
    return messages;
}

TEST(EffectParser, GrammarFixtureGivesTheParameterTable)
{
    EffectDescription d = CompileGrammar({});

    const EffectParameter& wvp = Param(d, "MatWorldViewProj");  // from the include
    EXPECT_EQ(wvp.type, EffectParameterType::Float);
    EXPECT_EQ(wvp.rows, 4);
    EXPECT_EQ(wvp.columns, 4);
    EXPECT_EQ(wvp.semantic, "WORLDVIEWPROJECTION");
    EXPECT_EQ(wvp.defaults, std::vector<float>(16, 0.0f));

    const EffectParameter& exposure = Param(d, "exposure");
    EXPECT_EQ(exposure.defaults, std::vector<float>{1.0f});
    ASSERT_EQ(exposure.annotations.size(), 3u);
    EXPECT_EQ(exposure.annotations[0].type, "string");
    EXPECT_EQ(exposure.annotations[0].name, "UIName");
    EXPECT_EQ(exposure.annotations[0].text, "Exposure");
    EXPECT_EQ(exposure.annotations[2].values, std::vector<float>{4.0f});

    EXPECT_EQ(Param(d, "useFog").type, EffectParameterType::Bool);
    EXPECT_EQ(Param(d, "useFog").defaults, std::vector<float>{1.0f});
    EXPECT_EQ(Param(d, "objectCount").type, EffectParameterType::Int);
    EXPECT_EQ(Param(d, "skyTint").defaults, (std::vector<float>{0.25f, 0.5f, 1.0f}));
    EXPECT_EQ(Param(d, "LightColor").semantic, "LIGHTCOLOR");
    EXPECT_EQ(Param(d, "LightColor").defaults, (std::vector<float>{1.0f, 0.9f, 0.8f, 1.0f}));
    EXPECT_EQ(Param(d, "AmbientColor").defaults, std::vector<float>(4, 0.1f));  // one value fills all
    EXPECT_EQ(Param(d, "rotation").rows, 2);
    EXPECT_EQ(Param(d, "boneFrame").rows, 4);
    EXPECT_EQ(Param(d, "boneFrame").columns, 3);
    EXPECT_EQ(Param(d, "shCoeffs").arraySize, 16u);
    EXPECT_EQ(Param(d, "shCoeffs").defaults.size(), 64u);
    EXPECT_EQ(Param(d, "casterRadius").defaults[12], 4.0f);
    EXPECT_EQ(Param(d, "lightMatrix").arraySize, 4u);  // LIGHT_COUNT * 2
    EXPECT_EQ(Param(d, "lightMatrix").defaults.size(), 64u);
    EXPECT_EQ(Param(d, "weights").columns, 1);
    EXPECT_EQ(Param(d, "upVector").columns, 3);
    EXPECT_EQ(Param(d, "normalBasis").rows, 3);
    EXPECT_FLOAT_EQ(Param(d, "scale").defaults[0], 0.5f);
    EXPECT_EQ(Param(d, "effectName").strings, std::vector<std::string>{"grammar test"});
    EXPECT_EQ(Param(d, "atlasRes").defaults, std::vector<float>{512.0f});
    EXPECT_FALSE(Has(d, "PI"));  // statics belong to the shaders

    EXPECT_EQ(Param(d, "shadowAtlas").type, EffectParameterType::Texture);
    EXPECT_EQ(Param(d, "shadowAtlas").annotations[0].text, "shadow.dds");
    EXPECT_EQ(Param(d, "noisemap").type, EffectParameterType::Texture2D);
    EXPECT_EQ(Param(d, "jittermap").type, EffectParameterType::Texture3D);
    EXPECT_EQ(Param(d, "environment").type, EffectParameterType::TextureCube);

    const EffectParameter& sampler = Param(d, "shadowSampler");
    EXPECT_EQ(sampler.type, EffectParameterType::Sampler2D);
    EXPECT_EQ(sampler.samplerTexture, "shadowAtlas");
    ASSERT_EQ(sampler.samplerStates.size(), 6u);
    EXPECT_EQ(sampler.samplerStates[0].name, "MinFilter");
    EXPECT_EQ(sampler.samplerStates[0].value, "Point");
    EXPECT_EQ(sampler.samplerStates[5].value, "0xffffffff");
    EXPECT_EQ(Param(d, "jitterSampler").samplerTexture, "jittermap");
    EXPECT_EQ(Param(d, "jitterSampler").samplerStates[0].index, -1);
    EXPECT_EQ(Param(d, "environmentSampler").samplerTexture, "environment");
    EXPECT_EQ(Param(d, "noiseSampler").samplerTexture, "");
    EXPECT_EQ(Param(d, "noiseSampler").samplerRegister, 3);
    EXPECT_EQ(Param(d, "shadowSampler").samplerRegister, -1);

    ASSERT_EQ(d.structs.size(), 2u);
    EXPECT_EQ(d.structs[0].name, "VertexInput");
    ASSERT_EQ(d.functions.size(), 3u);
    EXPECT_EQ(d.functions[1].name, "ColorPS");
    EXPECT_EQ(d.functions[1].text.rfind("float4 ColorPS(VertexOutput input) : COLOR0", 0), 0u);
    EXPECT_EQ(d.functions[1].text.back(), '}');
}

TEST(EffectParser, TechniquesKeepTheirPassesStatesAndShaders)
{
    EffectDescription d = CompileGrammar({});
    ASSERT_EQ(d.techniques.size(), 3u);
    EXPECT_EQ(d.techniques[0].name, "depth");
    EXPECT_EQ(d.techniques[0].passes.size(), 1u);
    const gfx::EffectTechnique& diff = d.techniques[1];
    EXPECT_EQ(diff.name, "diff");
    EXPECT_EQ(diff.annotations[0].text, "lit colour");
    ASSERT_EQ(diff.passes.size(), 3u);
    EXPECT_EQ(diff.passes[0].name, "base");
    EXPECT_EQ(diff.passes[0].annotations[0].values, std::vector<float>{0.0f});
    EXPECT_EQ(diff.passes[0].vertexShader.profile, "vs_3_0");
    EXPECT_EQ(diff.passes[0].vertexShader.entry, "TransformVS");
    EXPECT_EQ(diff.passes[0].vertexShader.arguments, "true");
    EXPECT_EQ(diff.passes[0].pixelShader.entry, "ColorPS");
    ASSERT_EQ(diff.passes[1].states.size(), 4u);
    EXPECT_EQ(diff.passes[1].states[1].name, "SrcBlend");
    EXPECT_EQ(diff.passes[1].states[1].value, "SrcAlpha");
    EXPECT_EQ(diff.passes[1].states[3].name, "Sampler");
    EXPECT_EQ(diff.passes[1].states[3].index, 0);
    EXPECT_EQ(diff.passes[1].states[3].value, "(shadowSampler)");
    EXPECT_EQ(diff.passes[2].pixelShader.profile, "");  // PixelShader = NULL
    EXPECT_EQ(diff.passes[2].states.back().value, "NULL");
    EXPECT_EQ(d.techniques[2].name, "post");
    EXPECT_EQ(d.techniques[2].passes.size(), 1u);
    EXPECT_TRUE(d.defines.empty());
}

TEST(EffectParser, ADefineChangesTheEffect)
{
    EffectDescription d = CompileGrammar({{"USE_HDR", "1"}});
    EXPECT_EQ(d.defines, std::vector<std::string>{"USE_HDR"});
    EXPECT_TRUE(Has(d, "exposureBias"));
    ASSERT_EQ(d.techniques.size(), 3u);
    ASSERT_EQ(d.techniques[2].passes.size(), 2u);
    EXPECT_EQ(d.techniques[2].passes[1].name, "bloom");
    EXPECT_NE(d.functions[1].text.find("exposure"), std::string::npos);
    EXPECT_FALSE(Has(CompileGrammar({}), "exposureBias"));
}

TEST(EffectParser, ErrorsGiveFileLineColumnAndCode)
{
    struct Case {
        std::string source;
        std::string message;
    } cases[] = {
        {"float x = 1.0\nfloat y;", "bad.fx(2,1): error X3000: syntax error: unexpected token 'float'"},
        {"float x", "bad.fx(1,8): error X3000: syntax error: unexpected end of file"},
        {"floot x;", "bad.fx(1,1): error X3004: unknown type 'floot'"},
        {"float4 v = { 1, 2, 3 };", "bad.fx(1,12): error X3017: 'float4' takes 4 values, 3 given"},
        {"float a[0];", "bad.fx(1,9): error X3005: invalid array size"},
        // An array of arrays, of numbers, holds its elements within the one bound.
        {"float a[256][257];", "bad.fx(1,14): error X3005: invalid array size"},
        {"float a[][2] = {1, 2, 3};", "bad.fx(1,7): error X3017: 'a': 3 elements do not make rows of 2"},
        {"texture t[2][2];", "bad.fx(1,10): error X3005: 't': arrays of arrays of 'texture' are not supported"},
        {"float x < float a[2][2] = {1, 2, 3, 4}; >;", "error X3005: arrays of arrays are not supported here"},
        {"float a[100000000];", "error X3005: invalid array size"},
        {"float x;\nint x;", "bad.fx(2,5): error X3003: redefinition of 'x'"},
        {"float4 f() { return (1; }", "bad.fx(1,25): error X3000: syntax error: unbalanced '}'"},
        {"float4 f() {\n if (x) {\n", "bad.fx(2,9): error X3000: syntax error: '{' has no matching '}'"},
        {"sampler s = sampler_state { Texture = <missing>; };", "bad.fx(1,40): error X3004: undeclared texture 'missing'"},
        {"sampler s : register(s16);", "bad.fx(1,22): error X3530: invalid register 's16': a sampler takes s0 to s15"},
        {"sampler s : register(ps_3_0, s99999999999);", "bad.fx(1,30): error X3530: invalid register 's99999999999'"},
        {"sampler s : register(s0;", "bad.fx(1,21): error X3000: syntax error: '(' has no matching ')'"},
        {"sampler s : register(s-1);", "bad.fx(1,22): error X3530: invalid register 's-1': a sampler takes s0 to s15"},
        {"sampler s : register(s);", "bad.fx(1,22): error X3530: invalid register 's': a sampler takes s0 to s15"},
        {"sampler s : register(ps_3_0, S2x);", "bad.fx(1,30): error X3530: invalid register 'S2x'"},
        {"sampler s : register(c0);", "bad.fx(1,22): error X3530: invalid register 'c0'"},
        {"sampler s[2] : register(s15);",
         "bad.fx(1,25): error X3530: invalid register 's15': the 2 samplers of 's' would take s15 to s16, and a sampler "
         "takes s0 to s15"},
        {"technique t { pass p { VertexShader = compile vs_2_0 nowhere(); } }", "error X3004: undeclared identifier 'nowhere'"},
        {"void f() {}\ntechnique t { pass p { PixelShader = compile vs_2_0 f(); } }", "bad.fx(2,46): error X3007: invalid target 'vs_2_0' for PixelShader"},
        {"technique t {} technique t {}", "error X3003: redefinition of technique 't'"},
        {"technique t { p {} }", "syntax error: unexpected token 'p'"},
        {"texture t = 1;", "error X3000: a texture cannot have an initial value"},
        {"float x = y;", "bad.fx(1,11): error X3004: undeclared identifier 'y'"},
        {"float x = 1.0.0;", "error X3000: invalid number '1.0.0'"},
        {"float x = 1; @", "bad.fx(1,14): error X3001: invalid character '@'"},
        {"string s = \"open\n;", "error X3001: newline in a string constant"},
        {"string s = (\"abc\";", "bad.fx(1,18): error X3000: syntax error: unexpected token ';'"},
        {"string s[2] = { {\"a\"} };", "bad.fx(1,15): error X3017: 's' takes 2 strings, 1 given"},
        {"string s[] = { {}, };", "bad.fx(1,14): error X3005: invalid array size"},
        {"texture t; sampler s { Texture = <t[0]>; };", "bad.fx(1,36): error X3005: texture 't' is not an array"},
        {"texture t[2]; sampler s { Texture = <t[1 + 1]>; };", "index 2 of texture 't' is out of range (0 to 1)"},
        {"#line 7 \"other.fx\"\nfloat x = ;", "other.fx(7,11): error X3000: syntax error: unexpected token ';'"},
        {"#line 1 \"a.fxh\"\nfloat x;\n#line 1 \"b.fxh\"\nfloat y;\n#line 9 \"a.fxh\"\nfloat y;",
         "a.fxh(9,7): error X3003: redefinition of 'y'"},
        // However deep, read without running out of stack.
        {"vector<vector<float, 4>, 4> v;", "bad.fx(1,8): error X3000: syntax error: scalar type expected"},
        {"float x = " + Repeat("- ", 50000) + "1;", "error X3000: expression nested too deeply"},
        {"float x[1] = " + std::string(100000, '{') + "1;", "error X3000: initializer nested too deeply"},
    };
    for (const Case& c : cases) {
        std::string messages = ParseError(c.source);
        EXPECT_NE(messages.find(c.message), std::string::npos) << c.source << "\n" << messages;
    }
}

// As a shader library's headers and a game's write them.
TEST(EffectParser, StringsInParenthesesAndArraysOfStringsInRows)
{
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(gfx::CompileEffectSource(R"(
#define DECLARE_QUAD_TEX(TexName,SampName,PixFmt) texture TexName : RENDERCOLORTARGET < \
    string Format = PixFmt ; \
    string UIWidget = (\"None\"); \
>; \
sampler2D SampName = sampler_state { texture = <TexName>; };
DECLARE_QUAD_TEX(SceneTex, SceneSamp, "A8R8G8B8")
string Format = (("X8R8G8B8"));
string Fallbacks[] = { {"a", "b", ""}, {"c", ""}, };
technique t < string Script = ("Pass=p;"); > {}
)",
                                         "forms.fx", {}, {}, d, messages))
        << messages;
    EXPECT_EQ(Param(d, "SceneTex").annotations.at(1).text, "None");
    EXPECT_EQ(Param(d, "Format").strings, std::vector<std::string>{"X8R8G8B8"});
    EXPECT_EQ(Param(d, "Fallbacks").arraySize, 5u); // the empty last one is "" too
    EXPECT_EQ(Param(d, "Fallbacks").strings, (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(d.techniques.at(0).annotations.at(0).text, "Pass=p;");
}

TEST(EffectParser, ShaderVariablesAreNamedByPassesAndLaterTechniquesAreLeftOut)
{
    const std::string functions = "float4 V(float4 p : POSITION, uniform float k) : POSITION { return p * k; }\n"
                                  "float4 P() : COLOR { return 1; }\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(gfx::CompileEffectSource(
        functions + "vertexshader skin[3] = { compile vs_3_0 V(1), compile vs_3_0 V(2), NULL };\n"
                    "PixelShader Unused = NULL, Pixel = compile ps_3_0 P();\n"
                    "technique10 Later { pass p { SetVertexShader(CompileShader(vs_4_0, V(1))); } }\n"
                    "technique t { pass p { VertexShader = (skin[1]); PixelShader = <Pixel>; } }\n"
                    "Technique11 Later2 < int k = 1; > { pass p { SetPixelShader(NULL); } }\n"
                    "technique u { pass { VERTEXSHADER = skin[2]; pixelshader = Pixel; } }\n"
                    "technique fixed { pass { VertexShader = 0; PixelShader = 0; FVF = XYZ | NORMAL | TEX1; } }\n",
        "v.fx", {}, {}, d, messages))
        << messages;
    ASSERT_EQ(d.techniques.size(), 3u);
    const gfx::EffectPass& fixed = d.techniques[2].passes[0];
    EXPECT_EQ(fixed.vertexShader.profile + fixed.pixelShader.profile, ""); // zero is NULL
    const gfx::EffectPass& p = d.techniques[0].passes[0];
    EXPECT_EQ(p.vertexShader.entry, "V");
    EXPECT_EQ(p.vertexShader.arguments, "2");
    EXPECT_EQ(p.pixelShader.profile, "ps_3_0");
    EXPECT_FALSE(p.program->vertex.spirv.empty());
    EXPECT_EQ(p.states.size(), 2u); // kept as written
    EXPECT_EQ(p.states[0].value, "(skin[1])");
    const gfx::EffectPass& u = d.techniques[1].passes[0];
    EXPECT_EQ(u.vertexShader.profile, ""); // the array's NULL
    EXPECT_TRUE(u.program->vertex.glsl.find("main") != std::string::npos); // the pass-through stand-in
    EXPECT_TRUE(d.parameters.empty());      // shader variables are no parameters

    struct Case {
        std::string source;
        std::string message;
    } cases[] = {
        {"VertexShader a = asm { vs_2_0 mov oPos, v0 };",
         "v.fx(3,18): error X3000: shader variable 'a': assembly shaders (asm { ... }) are not supported; compile the shader from HLSL"},
        {"VertexShader a[2] = { compile vs_3_0 V(1) };", "v.fx(3,21): error X3006: 'a' has 1 shaders for 2"},
        {"VertexShader a[2] = compile vs_3_0 V(1);",
         "v.fx(3,21): error X3000: the shader array 'a' needs a list: '{ compile ..., ... }'"},
        {"PixelShader a;", "v.fx(3,13): error X3000: shader variable 'a' needs a shader: '= compile ...'"},
        {"float a; PixelShader a = compile ps_3_0 P();", "v.fx(3,22): error X3003: redefinition of 'a'"},
        {"PixelShader a = compile ps_3_0 P(); float a;", "v.fx(3,43): error X3003: redefinition of 'a'"},
        {"PixelShader a = compile ps_3_0 P(); technique t { pass { VertexShader = a; } }",
         "v.fx(3,73): error X3017: 'a' is a pixel shader, not a vertex shader"},
        {"PixelShader a[2] = { NULL, NULL }; technique t { pass { PixelShader = a[2]; } }",
         "v.fx(3,73): error X3005: index 2 of 'a' is out of range (0 to 1)"},
        {"PixelShader a[2] = { NULL, NULL }; technique t { pass { PixelShader = a; } }",
         "v.fx(3,71): error X3000: the shader array 'a' needs an index"},
        {"float k; technique t { pass { PixelShader = k; } }",
         "v.fx(3,45): error X3017: state 'PixelShader' takes a shader, and 'k' is not one"},
        {"technique t { pass { PixelShader = nothing; } }", "v.fx(3,36): error X3004: undeclared identifier 'nothing'"},
        {"technique10 t { pass p { ", "v.fx(3,24): error X3000: syntax error: '{' has no matching '}'"},
    };
    for (const Case& c : cases) {
        EffectDescription bad;
        std::string why;
        EXPECT_FALSE(gfx::CompileEffectSource(functions + c.source + "\n", "v.fx", {}, {}, bad, why)) << c.source;
        EXPECT_EQ(why, c.message + "\n") << c.source;
    }
}

TEST(EffectParser, OnlyTheFirstErrorIsReportedAndNothingIsFilled)
{
    EffectDescription d;
    d.defines = {"KEEP"};
    std::string messages;
    EXPECT_FALSE(gfx::ParseEffect("float x = ;\nfloat y = ;\n", "bad.fx", d, messages));
    EXPECT_EQ(messages, "bad.fx(1,11): error X3000: syntax error: unexpected token ';'\n");
    EXPECT_EQ(d.defines, std::vector<std::string>{"KEEP"});
}

TEST(EffectParser, ErrorsInIncludedFilesNameTheIncludedFile)
{
    EffectDescription d;
    std::string messages;
    auto reader = [](const std::string& path, size_t, std::string& contents) {
        if (path != "lib/inc.fxh")
            return std::string("no such file");
        contents = "\n\nfloat4 broken = float4(1, 2);\n";
        return std::string();
    };
    EXPECT_FALSE(gfx::CompileEffectSource("float a;\n#include \"inc.fxh\"\n", "lib/main.fx", {}, reader, d,
                                          messages));
    EXPECT_NE(messages.find("lib/inc.fxh(3,17): error X3014"), std::string::npos) << messages;
}

TEST(EffectParser, ConstantsAcceptConstructorsArithmeticAndNumberForms)
{
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(gfx::ParseEffect("float4x4 m = float4x4(float4(1,0,0,0), float4(0,1,0,0), 0,0,1,0, 0,0,0,1);\n"
                                 "float a = -(1.5f + .5) * 2;\n"
                                 "int h = 0x10;\n"
                                 "float e = 1e-2;\n"
                                 "half2 b = half2(1.0h, 2);\n"
                                 "float2 c = float2(1, 2) * 2;\n"
                                 "bool t = false;\n"
                                 "float4 fill = float4(3);\n"
                                 "float x, y = 2, z[2];\n",
                                 "ok.fx", d, messages))
        << messages;
    EXPECT_EQ(Param(d, "m").defaults[5], 1.0f);
    EXPECT_EQ(Param(d, "m").defaults[15], 1.0f);
    EXPECT_EQ(Param(d, "a").defaults[0], -4.0f);
    EXPECT_EQ(Param(d, "h").defaults[0], 16.0f);
    EXPECT_FLOAT_EQ(Param(d, "e").defaults[0], 0.01f);
    EXPECT_EQ(Param(d, "b").defaults, (std::vector<float>{1.0f, 2.0f}));
    EXPECT_EQ(Param(d, "c").defaults, (std::vector<float>{2.0f, 4.0f}));
    EXPECT_EQ(Param(d, "fill").defaults, std::vector<float>(4, 3.0f));
    EXPECT_EQ(Param(d, "y").defaults[0], 2.0f);
    EXPECT_EQ(Param(d, "z").arraySize, 2u);
}

// Thousands of each kind of name before the one that matters: each is found by
// its name, so a redefinition or an unknown name is told wherever it lies.
TEST(EffectParser, NamesAreFoundAmongThousands)
{
    std::string many = "float4 VS(float4 p : POSITION) : POSITION { return p; }\n";
    for (int i = 0; i < 2000; ++i) {
        const std::string n = std::to_string(i);
        many += "float p" + n + "; texture t" + n + "; technique k" + n + " {} struct S" + n + " { float a; };\n";
    }
    struct Case {
        std::string last; // the line after the 2001 above
        std::string message; // "" when accepted
    } cases[] = {
        {"float p1999;", "bad.fx(2002,7): error X3003: redefinition of 'p1999'"},
        {"float q, p0;", "bad.fx(2002,10): error X3003: redefinition of 'p0'"},
        {"technique k5 {}", "bad.fx(2002,11): error X3003: redefinition of technique 'k5'"},
        {"struct S7 { float b; };", "bad.fx(2002,8): error X3003: redefinition of 'S7'"},
        {"sampler s = sampler_state { Texture = <p3>; };", "error X3004: undeclared texture 'p3'"},
        {"sampler s = sampler_state { Texture = <t2000>; };", "error X3004: undeclared texture 't2000'"},
        {"technique k { pass { VertexShader = compile vs_2_0 VS2(); } }", "error X3004: undeclared identifier 'VS2'"},
        // The table's bound holds before a large parameter's values are made.
        {"float4x4 m[65536];", "bad.fx(2002,10): error X3005: the parameters hold too many values"},
        {"sampler s = sampler_state { Texture = <t1999>; }; S1999 v;\n"
         "technique k { pass { VertexShader = compile vs_2_0 VS(); } }\n"
         "static float4x4 s0[65536] = 1; static float4x4 s1[65536] = 1;",
         ""},
    };
    for (const Case& c : cases) {
        EffectDescription d;
        std::string messages;
        const bool ok = gfx::ParseEffect(many + c.last, "bad.fx", d, messages);
        EXPECT_EQ(ok, c.message.empty()) << c.last << "\n" << messages;
        EXPECT_NE(messages.find(c.message), std::string::npos) << c.last << "\n" << messages;
    }
}

TEST(EffectParser, WorkGrowsInProportionToTheEffect)
{
    // Four times each kind of declaration costs at most 4.5 times the steps.
    const struct {
        const char* name;
        std::string line; // with @ for its number
    } shapes[] = {
        {"parameters", "float4 p@ = float4(1, 2, 3, 4) * 2; texture t@; sampler s@ = sampler_state { Texture = <t@>; };\n"},
        {"techniques", "technique k@ < int n = 1; > { pass p { ZEnable = false; CullMode = None; } }\n"},
        {"structs and functions", "struct S@ { float4 a; }; float4 f@(S@ s) { return s.a; }\n"},
        {"annotations", "float a@ < string name = \"a\"; float scale = 2.5; >;\n"},
    };
    for (const auto& shape : shapes) {
        std::vector<uint64_t> steps;
        for (int n : {500, 2000}) {
            std::string source;
            for (int i = 0; i < n; ++i) {
                std::string line = shape.line;
                for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@', at))
                    line.replace(at, 1, std::to_string(i));
                source += line;
            }
            EffectDescription d;
            std::string messages;
            const uint64_t before = platform::StepsOnThisThread();
            EXPECT_TRUE(gfx::ParseEffect(source, "e.fx", d, messages)) << shape.name << messages;
            steps.push_back(platform::StepsOnThisThread() - before);
        }
        EXPECT_LE(steps[1] * 2, steps[0] * 9) << shape.name << ": " << steps[0] << " then " << steps[1];
    }
}

// A close signal while the program reads: raised for a span, forgotten after.
struct ClosingProgram {
    ClosingProgram() { platform::detail::RecordCloseSignal(SIGINT); }
    ~ClosingProgram() { platform::detail::ForgetCloseSignals(); }
};

TEST(EffectParser, AClosingProgramStopsTheReaderWithOneLine)
{
    std::string text = "float before;\n#line 1 \"big.fxh\"\n";
    for (int i = 0; i < 20000; ++i)
        text += "float p" + std::to_string(i) + ";\n";
    EffectDescription d;
    std::string messages;
    {
        ClosingProgram closing;
        EXPECT_FALSE(gfx::ParseEffect(text, "big.fx", d, messages));
    }
    // Within the first few thousand tokens, at a line of the file the markers name.
    ASSERT_EQ(messages.rfind("big.fxh(", 0), 0u) << messages;
    const int line = std::stoi(messages.substr(8));
    EXPECT_GE(line, 1);
    EXPECT_LT(line, 5000);
    EXPECT_EQ(messages, gfx::EffectClosingError("big.fxh", line)) << messages;
    EXPECT_TRUE(d.parameters.empty());
    messages.clear();
    EXPECT_TRUE(gfx::ParseEffect(text, "big.fx", d, messages)) << messages;
    EXPECT_EQ(d.parameters.size(), 20001u);
}

} // namespace

// Constants computed from constants, wherever the effect needs a value now.
TEST(EffectParser, ConstantsNameEarlierConstantsFunctionsAndIntrinsics)
{
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(gfx::ParseEffect("static const float PI = 3.14159265;\n"
                                 "static const float HalfPI = PI * 0.5;\n"
                                 "static const float3 W = float3(0.2126, 0.7152, 0.0722);\n"
                                 "static const float3 B = W;\n"
                                 "static const int N = 4;\n"
                                 "float a[N];\n"
                                 "float h = HalfPI;\n"
                                 "float3 b = B.zyx;\n"
                                 "uniform float k = rsqrt(2.0f);\n"
                                 "float m = max(sin(0), log2(8)) + pow(2, 3) + normalize(float2(3, 4)).y;\n"
                                 "float2 s = (1, 1);\n"
                                 "float u[] = {1, 2};\n"
                                 "static const float2 o[2] = {1, 2, 3, 4};\n"
                                 "float2 p[2] = o;\n"
                                 "float4x4 getTextureTransform() { return float4x4(2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1); }\n"
                                 "float4x4 t = getTextureTransform();\n"
                                 "float4 U; static float S = U.a; static float4 T2 = U * S;\n"
                                 "technique T < int L = N + 1; int D[] = {1, 2}; float F = PI; > {}\n",
                                 "ok.fx", d, messages))
        << messages;
    EXPECT_EQ(Param(d, "a").arraySize, 4u);
    EXPECT_EQ(Param(d, "h").defaults, std::vector<float>{3.14159265f * 0.5f});
    EXPECT_EQ(Param(d, "b").defaults, (std::vector<float>{0.0722f, 0.7152f, 0.2126f}));
    EXPECT_EQ(Param(d, "k").defaults, std::vector<float>{0.70710678f});
    EXPECT_EQ(Param(d, "m").defaults, std::vector<float>{3.0f + 8.0f + 0.8f});
    EXPECT_EQ(Param(d, "s").defaults, (std::vector<float>{1, 1}));
    EXPECT_EQ(Param(d, "u").arraySize, 2u);
    EXPECT_EQ(Param(d, "u").defaults, (std::vector<float>{1, 2}));
    EXPECT_EQ(Param(d, "p").defaults, (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(Param(d, "t").defaults[0], 2.0f);
    EXPECT_EQ(Param(d, "t").defaults[15], 1.0f);
    EXPECT_FALSE(Has(d, "S"));
    ASSERT_EQ(d.techniques[0].annotations.size(), 3u);
    EXPECT_EQ(d.techniques[0].annotations[0].values, std::vector<float>{5});
    EXPECT_EQ(d.techniques[0].annotations[1].values, (std::vector<float>{1, 2}));
    EXPECT_EQ(d.techniques[0].annotations[2].values, std::vector<float>{3.14159265f});
}

TEST(EffectParser, ValuesNeededNowRefuseWhatIsNotConstant)
{
    const std::pair<const char*, const char*> cases[] = {
        {"float a; float b = a * 2;", "bad.fx(1,20): error X3011: the initial value of 'b' names the parameter 'a': its value"},
        {"float a, c; float b = a * c + a;",
         "bad.fx(1,23): error X3011: the initial value of 'b' names the parameters 'a' and 'c': their values"},
        {"int n = 2; float a[n];", "bad.fx(1,20): error X3011: the array size names the parameter 'n'"},
        {"float4 U; technique T < float L = U.x; > {}",
         "bad.fx(1,35): error X3011: the annotation 'L' names the parameter 'U'"},
        {"float e = 1 % 0;", "bad.fx(1,13): error X4010: Unsigned integer modulus by zero"},
        {"float e = 1 / 0;", "bad.fx(1,13): error X4010: Unsigned integer divide by zero"},
        {"float e = 0.0 / 0;", "bad.fx(1,15): error X3025: the value is not a number: 0 / 0"},
        {"float k = tex2D(s, 0);", "bad.fx(1,11): error X3025: 'tex2D' has no constant value: only a shader can call it"},
        {"float k = sqrt;", "'sqrt' is an intrinsic function"},
        {"float k = nothing(1);", "bad.fx(1,11): error X3004: undeclared identifier 'nothing'"},
        {"float u[];", "bad.fx(1,7): error X3074: 'u': an array of unstated size takes its size from an initial value"},
        {"static const float PI = 3; static float PI = 2;", "bad.fx(1,41): error X3003: redefinition of 'PI'"},
        {"float a; float f(float x) { for (int i = 0; i < x; i++) {} return 2; }\n"
         "technique T { pass p { ZFunc = f(a); } }",
         "bad.fx(1,29): error X3025: 'f' has no constant value: the condition of its 'for' depends on a parameter"},
        // Not a number beside a parameter, which would keep it for every begin.
        {"float P; float F() { return sqrt(-1) * P; }\ntechnique T { pass p { FogDensity = F(); } }",
         "bad.fx(1,29): error X3025: the value is not a number: sqrt(-1)"},
        {"float P; technique T { pass p { FogDensity = P > 0 ? 1 : 0.0 / 0; } }",
         "bad.fx(1,62): error X3025: the value is not a number: 0 / 0"},
    };
    for (const auto& [source, message] : cases) {
        const std::string messages = ParseError(source);
        EXPECT_NE(messages.find(message), std::string::npos) << source << "\n" << messages;
    }
}

TEST(EffectParser, TechniqueAndPassInAnyLetterCase)
{
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(gfx::ParseEffect("Technique A { Pass p {} PASS q {} } TECHNIQUE B < int D[] = {1, 2}; > { pass {} }",
                                 "ok.fx", d, messages))
        << messages;
    ASSERT_EQ(d.techniques.size(), 2u);
    EXPECT_EQ(d.techniques[0].passes.size(), 2u);
    EXPECT_EQ(d.techniques[1].name, "B");
}

TEST(EffectParser, StructVariablesTypedefsAndConstantBuffersDeclareParameters)
{
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(gfx::ParseEffect("typedef int Mode; typedef const float4 Colour, Tint;\n"
                                 "Mode mode = 3; Colour c = 1; Tint t[2];\n"
                                 "struct S { float4 m; } U, V;\n"
                                 "struct { float4 m; } W;\n"
                                 "cbuffer C : register(b1) { float4 k = (Mode)2.5; static const int N = 2; }\n"
                                 "float a[N];\n",
                                 "ok.fx", d, messages))
        << messages;
    EXPECT_EQ(Param(d, "mode").type, EffectParameterType::Int);
    EXPECT_EQ(Param(d, "c").defaults, std::vector<float>(4, 1.0f));
    EXPECT_EQ(Param(d, "t").arraySize, 2u);
    EXPECT_EQ(Param(d, "U").structName, "S");
    EXPECT_EQ(Param(d, "V").type, EffectParameterType::Struct);
    EXPECT_EQ(Param(d, "W").structName, "<unnamed>");
    EXPECT_EQ(Param(d, "k").defaults, std::vector<float>(4, 2.0f));
    EXPECT_EQ(Param(d, "a").arraySize, 2u);
    ASSERT_EQ(d.structs.size(), 1u);
    EXPECT_EQ(d.structs[0].text, "struct S { float4 m; };");

    const std::pair<const char*, const char*> refused[] = {
        {"typedef int Mode; struct Mode { float a; };", "bad.fx(1,26): error X3003: redefinition of 'Mode'"},
        {"typedef struct { float a; } T;", "a typedef names a type declared before it"},
        {"cbuffer C { cbuffer D { float a; } }", "bad.fx(1,13): error X3000: syntax error: unexpected keyword 'cbuffer'"},
        {"cbuffer C { float a;", "bad.fx(1,11): error X3000: syntax error: '{' has no matching '}'"},
        {"sqrt x;", "bad.fx(1,1): error X3000: syntax error: 'sqrt' is an intrinsic function, not a type"},
        {"tbuffer B { float a; }", "bad.fx(1,1): error X3000: syntax error: unexpected keyword 'tbuffer'"},
    };
    for (const auto& [source, message] : refused) {
        const std::string error = ParseError(source);
        EXPECT_NE(error.find(message), std::string::npos) << source << "\n" << error;
    }
}
