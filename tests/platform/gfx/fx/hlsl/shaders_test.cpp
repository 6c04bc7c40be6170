// The shader side of effects: the HLSL the compiler sees, the generated entry
// points, the fixed places of semantics, state assignments, uniform packing,
// and what a compiled pass keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <set>

#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/parser/effect_parser.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"
#include "platform/gfx/fx/compiled/pass_compiler.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "platform/window/close_check.h"
#include "platform/window/close_signals.h"
#include "platform/gfx/fx/rewrites/array_casts.h"
#include "platform/gfx/fx/hlsl/source.h"
#include "platform/gfx/fx/hlsl/shader_entry.h"
#include "platform/gfx/fx/hlsl/shader_semantics.h"
#include "platform/gfx/fx/parser/state_assignments.h"
#include "platform/gfx/raster/gl_programs.h"
#include "platform/gfx/device/render_state.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

using namespace gfx;

namespace {

size_t Lines(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(FxHlslSource, EffectOnlySyntaxIsBlankedAndEveryLineStaysInPlace)
{
    const std::string effect =
        "float4x4 World : WORLD < string UIName = \"w\"; >;\n"
        "texture Picture < string file = \"a.dds\"; >;\n"
        "sampler2D PictureSampler = sampler_state\n{\n    Texture = <Picture>;\n    MinFilter = Linear;\n};\n"
        "string Title = \"shown\";\n"
        "float Scale : register(c4) = 2.0;\n"
        "static const float Half = 0.5;\n"
        "struct V { float4 p : POSITION; };\n"
        "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(PictureSampler, uv) * Scale * Half; }\n"
        "technique t < string name = \"x\"; >\n{\n    pass p { PixelShader = compile ps_3_0 PS(); }\n}\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    EXPECT_EQ(Lines(source.text), Lines(effect));
    EXPECT_EQ(source.text.size(), effect.size());
    for (const char* gone : {"WORLD", "UIName", "texture", "sampler_state", "MinFilter", "string", "register",
                             "technique", "compile", "a.dds"})
        EXPECT_EQ(source.text.find(gone), std::string::npos) << gone << " in\n" << source.text;
    for (const char* kept : {"float4x4 World", "sampler2D PictureSampler", "float Scale", "= 2.0;",
                             "static const float Half = 0.5;", "struct V { float4 p : POSITION; };",
                             "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(PictureSampler, uv)"})
        EXPECT_NE(source.text.find(kept), std::string::npos) << kept << " missing in\n" << source.text;
}

TEST(FxHlslSource, FormsOfOtherAuthorsReachTheShaderCompilerAsItReadsThem)
{
    const std::string effect =
        "cbuffer C : register(b0) { float4 k; }\n"
        "struct S { float4 m; } U, V;\n"
        "texture T;\n"
        "float4 f(uniform texture t, uniform sampler s, float2 uv) { return tex2D(s, uv); }\n"
        "float4 g(float2 uv, texture t) { return f(T, s0, uv) + f(t, (s1), float2(1, 2)); }\n"
        "Technique X < int D[] = {1, 2}; > { pass p {} }\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    EXPECT_EQ(source.text.size(), effect.size());
    std::string squeezed; // runs of blanks as one
    for (char c : source.text)
        if (c != ' ' || squeezed.empty() || squeezed.back() != ' ')
            squeezed += c;
    for (const char* kept : {" float4 k; \n", "struct S { float4 m; } U, V;",
                             "float4 f( uniform sampler s, float2 uv)",
                             "float4 g(float2 uv ) { return f( s0, uv) + f( (s1), float2(1, 2)); }"})
        EXPECT_NE(squeezed.find(kept), std::string::npos) << kept << " missing in\n" << source.text;
    for (const char* gone : {"cbuffer", "register", "}\nstruct", "Technique", "D[]", "pass"})
        EXPECT_EQ(source.text.find(gone), std::string::npos) << gone << " in\n" << source.text;
}

TEST(FxHlslSource, WhatFollowsACbufferIsReadAsThoughTheBlockWereNotThere)
{
    // The block's '}' closes it: the declarations after it are the text's own.
    const std::string effect = "cbuffer C { float4 a; } float4 b = 2;\ncbuffer D { float4 c; }\n"
                               "static const float e = 3;\nfloat4 PS() : COLOR { return a + b + c * e; }\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    for (const char* name : {"a", "b", "c", "e"})
        EXPECT_NE(source.VariableNamed(source.IdOf(name)), nullptr) << name;
    HlslSource::Scratch scratch;
    EXPECT_EQ(source.TextFor(source.Reached({source.IdOf("PS")}, scratch)),
              "            float4 a;   float4 b = 2;\n            float4 c;\nstatic const float e = 3;\n"
              "float4 PS() : COLOR { return a + b + c * e; }");
}

TEST(FxHlslSource, AFlatListThatGrowsItsLineMovesNothingAfterIt)
{
    // No blanks for the braces to take: the line grows, and what follows is
    // still found where it stands.
    const std::string effect = "static float2 q[2]={1,2,3,4};\nfloat4 PS() : COLOR { return q[1].xyxy; }\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    HlslSource::Scratch scratch;
    EXPECT_EQ(source.TextFor(source.Reached({source.IdOf("PS")}, scratch)),
              "static float2 q[2]={{1,2},{3,4}};\nfloat4 PS() : COLOR { return q[1].xyxy; }");
}

TEST(FxHlslSource, CastsToArrayTypesBecomeCallsOfTheSameLength)
{
    std::string text = "int a[4] = (int[4])v;\nfloat2 b[2] = (float2 [ 2 ])(float[4])-v.wzyx;\nc = (float)(x)[1];";
    const std::string before = text;
    const std::string prelude = RewriteArrayCasts(text);
    EXPECT_EQ(text, "int a[4] = zint_4(v);\nfloat2 b[2] = zfloat2_2   (zfloat_4(-v.wzyx));\nc = (float)(x)[1];");
    EXPECT_EQ(text.size(), before.size());
    EXPECT_EQ(prelude.find('\n'), std::string::npos);
    for (const char* helper : {"typedef int zAint_4[4];", "zAint_4 zint_4(float4 x) { zAint_4 r = {(int)x[0],",
                               "zAint_4 zint_4(float2x2 x)", "zAfloat2_2 zfloat2_2(float x[4]) { zAfloat2_2 r = "
                               "{float2(x[0], x[1]), float2(x[2], x[3])}; return r; }"})
        EXPECT_NE(prelude.find(helper), std::string::npos) << helper << " missing in " << prelude;
    std::string none = "float a[2] = {1, 2}; float b = (float)a[1];";
    EXPECT_EQ(RewriteArrayCasts(none), "");
}

TEST(FxHlslSource, LinesMapBackThroughTheMarkersOfIncludedFiles)
{
    const std::string text = "#line 1 \"main.fx\"\nfloat a;\n#line 1 \"lib.fxh\"\nfloat b;\nfloat c;\n"
                             "#line 3 \"main.fx\"\nfloat d;\n";
    const HlslSource source = ExtractHlsl(text, "main.fx");
    struct Case {
        int line;
        std::string file;
        int origin;
    } cases[] = {{2, "main.fx", 1}, {4, "lib.fxh", 1}, {5, "lib.fxh", 2}, {7, "main.fx", 3}, {99, "main.fx", 4}};
    for (const Case& c : cases) {
        const HlslSource::Origin at = source.Locate(c.line);
        EXPECT_EQ(source.FileOf(at), c.file) << c.line;
        EXPECT_EQ(at.line, c.origin) << c.line;
    }
    EXPECT_EQ(source.text.find("#line"), std::string::npos);
}

TEST(FxHlslSource, AShaderReadsOnlyTheFunctionsAndVariablesItReaches)
{
    const std::string effect = "static const int N = 2;\n"
                               "float a, b, c;\n"
                               "float d[N], e;\n"
                               "struct S { float4 v[N]; };\n"
                               "float4 helper() { return b; }\n"
                               "float4 other() { return a + c; }\n"
                               "float4 PS() : COLOR { return helper() + d[0]; }\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    struct Case {
        std::vector<std::string> roots;
        std::string text; // lines kept, the rest empty
    } cases[] = {
        // N through the struct that is always kept and d's size; a comma only between names kept.
        {{"PS"}, "static const int N = 2;\nfloat    b   ;\nfloat d[N]   ;\nstruct S { float4 v[N]; };\n"
                 "float4 helper() { return b; }\n\nfloat4 PS() : COLOR { return helper() + d[0]; }"},
        {{"other", "e"}, "static const int N = 2;\nfloat a,    c;\nfloat       e;\nstruct S { float4 v[N]; };\n\n"
                         "float4 other() { return a + c; }"},
    };
    for (const Case& c : cases) {
        std::vector<HlslSource::Id> roots;
        for (const std::string& name : c.roots)
            roots.push_back(source.IdOf(name));
        HlslSource::Scratch scratch;
        EXPECT_EQ(source.TextFor(source.Reached(roots, scratch)), c.text) << c.roots[0];
    }
}

std::string Repeated(const std::string& text, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

// The steps `work` takes on this thread, as the close checks count them.
template <class Work> uint64_t StepsOf(Work&& work)
{
    const uint64_t before = platform::StepsOnThisThread();
    work();
    return platform::StepsOnThisThread() - before;
}

TEST(FxHlslSource, OneDeclarationOfManyModifiersAndNamesCostsInProportionToItsLength)
{
    // Four times the modifiers and names: at most 4.5 times the steps, and the
    // names a shader reaches through it as few.
    auto declaration = [](size_t n) {
        std::string names = "a0";
        for (size_t i = 1; i < n; ++i)
            names += ",a" + std::to_string(i % 50);
        return Repeated("static ", n) + "float " + names + ";\n"
               "float4 PS() : COLOR { return a7; }\n";
    };
    std::vector<uint64_t> steps;
    for (size_t n : {2000u, 8000u}) {
        const std::string text = declaration(n);
        HlslSource source;
        HlslSource::Scratch scratch;
        std::string shader;
        steps.push_back(StepsOf([&] {
            source = ExtractHlsl(text, "a.fx");
            shader = source.TextFor(source.Reached({source.IdOf("PS")}, scratch));
        }));
        EXPECT_LT(source.named.size(), 2 * n);
        EXPECT_NE(shader.find("float4 PS()"), std::string::npos);
        EXPECT_NE(shader.find("a7"), std::string::npos);
        EXPECT_EQ(shader.find("a8"), std::string::npos);
    }
    EXPECT_LE(steps[1] * 2, steps[0] * 9) << steps[0] << " then " << steps[1];
}

TEST(FxHlslSource, NestingDeepOrRepeatedCostsInProportionToItsLength)
{
    // Four times as deep or as long, at most 4.5 times the steps: a function
    // that loses its texture parameter called within its own arguments, casts
    // to array types one within the other, what may be constructors'
    // targets until a value runs on to a ')' rather than a ';', and
    // constructors within a target.
    struct Shape {
        const char* name;
        std::string (*effect)(size_t depth);
        const char* gone; // what the shader's text no longer holds
    } shapes[] = {
        {"calls",
         [](size_t depth) {
             return "texture T;\nfloat4 f(texture t, float4 x) { return x; }\nfloat4 PS() : COLOR { return " +
                    Repeated("f(T, ", depth) + "1" + Repeated(")", depth) + "; }\n";
         },
         "T,"},
        {"casts",
         [](size_t depth) {
             return "float4 PS() : COLOR { float x = 1; int a[1] = " + Repeated("(int[1])", depth) +
                    "x; return a[0]; }\n";
         },
         "(int[1])"},
        {"targets",
         [](size_t depth) {
             return "float4 PS() : COLOR { float4 a = 1; return (" + Repeated("float4(a)=(a) ", depth) +
                    "); float4(a) = 2; }\n";
         },
         "float4(a) = 2"},
        {"constructors within a target",
         [](size_t depth) {
             return "float4 PS() : COLOR { float4 a; " + Repeated("float4(", depth) + "a" + Repeated(")", depth) +
                    " = 1; return a; }\n";
         },
         "float4(float4("},
    };
    for (const Shape& shape : shapes) {
        std::vector<uint64_t> steps;
        for (size_t depth : {1000u, 4000u}) {
            const std::string text = shape.effect(depth);
            HlslSource source;
            steps.push_back(StepsOf([&] { source = ExtractHlsl(text, "a.fx"); }));
            EXPECT_EQ(source.text.find(shape.gone), std::string::npos) << shape.name;
            EXPECT_EQ(source.text.size(), text.size()) << shape.name;
        }
        EXPECT_LE(steps[1] * 2, steps[0] * 9) << shape.name << ": " << steps[0] << " then " << steps[1];
    }
}

TEST(FxHlslSource, AShadersTextKeepsTheLinesOfWhatItReadsAndSaysWhereEachVariableLies)
{
    const std::string effect = "float4 a, b, c;\n" + Repeated("\n", 3) + "float4 near() { return b; }\n" +
                               Repeated("\n", 40) + "float4 far() : COLOR { return near() + c; }\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    HlslSource::Scratch scratch;
    HlslSource::Places places(source.IdCount(), HlslSource::kNoPlace);
    places[source.IdOf("c")] = 36;
    // A few lines left out are empty lines, many a marker; a variable with a
    // place is declared at it.
    EXPECT_EQ(source.TextFor(source.Reached({source.IdOf("far")}, scratch), &places),
              "float4    b, c : packoffset(c2.y);\n\n\n\nfloat4 near() { return b; }\n#line 46\n"
              "float4 far() : COLOR { return near() + c; }");
    EXPECT_EQ(source.LineOf(effect.find("far")), 46);
    EXPECT_EQ(source.FunctionOrigin("far").line, 46);
}

TEST(FxHlslSource, MembersAndSwizzlesNameNoGlobalOfTheirName)
{
    // A member or swizzle after '.', and a struct member's own name, never
    // refer to the globals of the same names: no shader reaches them.
    const std::string effect = "float x = 1, y = 2, xy = 3, w = 4, q = 5;\n"
                               "struct S { float4 xy : TEXCOORD0; float w, y[2]; };\n"
                               "float4 PS(S i) : COLOR { return i.xy.x + i.w + i.y[0] + q; }\n";
    const HlslSource source = ExtractHlsl(effect, "a.fx");
    HlslSource::Scratch scratch;
    std::vector<std::string> reached;
    for (HlslSource::Id id : source.Reached({source.IdOf("PS")}, scratch))
        if (source.VariableNamed(id))
            reached.push_back(source.NameOf(id));
    EXPECT_EQ(reached, (std::vector<std::string>{"q"}));
}

TEST(FxPassProgram, AGlobalNamedLikeASwizzleCostsNoStageThatDoesNotReadIt)
{
    // A long initializer of a global nobody reads, named like the swizzle
    // every pass's function writes: the stages cost what they would were it
    // named otherwise, and none of them declares it.
    auto effect = [](const std::string& name) {
        std::string text = "#define A0 k\n";
        for (int i = 1; i <= 10; ++i)
            text += "#define A" + std::to_string(i) + " (A" + std::to_string(i - 1) + " + A" + std::to_string(i - 1) +
                    ")\n";
        text += "float k = 1;\nstatic const float " + name + " = A10;\n";
        for (int p = 0; p < 8; ++p)
            text += "float4 PS" + std::to_string(p) + "(float2 t : TEXCOORD0) : COLOR { return t.x + " +
                    std::to_string(p) + "; }\n";
        text += "technique T {\n";
        for (int p = 0; p < 8; ++p)
            text += "pass { PixelShader = compile ps_2_0 PS" + std::to_string(p) + "(); }\n";
        return text + "}\n";
    };
    std::vector<uint64_t> steps;
    for (const char* name : {"x", "q"}) {
        EffectDescription d;
        std::string messages;
        std::string text;
        ASSERT_TRUE(PreprocessEffect(effect(name), "e.fx", {}, {}, text, messages)) << messages;
        ASSERT_TRUE(ParseEffect(text, "e.fx", d, messages)) << messages;
        steps.push_back(StepsOf([&] { EXPECT_TRUE(CompileEffectShaders(text, "e.fx", d, messages)) << messages; }));
        for (const EffectPass& pass : d.techniques[0].passes)
            EXPECT_EQ(pass.program->pixel.glsl.find(std::string(" ") + name + " "), std::string::npos) << name;
    }
    EXPECT_LE(steps[0] * 10, steps[1] * 11) << steps[0] << " named x, " << steps[1] << " named q";
}

// Forms of the shader text and of its entry points, as the platform's
// compiler takes or refuses them.
TEST(FxShaderForms, EachCompilesOrIsRefusedInThePlatformCompilersWords)
{
    const std::string ps = "float4 PS(float2 uv : TEXCOORD0) : COLOR { return uv.xyxy; }\n";
    const std::string pass = "technique T { pass p { PixelShader = compile ps_2_0 PS(); } }\n";
    const struct {
        const char* name;
        std::string effect;
        std::string refused; // "" for an effect that compiles
        std::string warned = ""; // what one that compiles is warned of
        std::multiset<std::string> samplers = {}; // what the last technique's first pass lists
    } cases[] = {
        {"framework words in any letter case",
         "String Title = \"t\";\nTEXTURE Tex;\nTexture2D Other;\n"
         "Sampler S = Sampler_State { texture = <Tex>; };\nSAMPLER2D S2 = SAMPLER_STATE { Texture = <Other>; };\n"
         "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
         "float4 Pick(Sampler2D s, float2 uv) { return tex2D(s, uv); }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return Pick(S, uv) + tex2D(S2, uv); }\n"
         "VertexShader Vs = Compile vs_2_0 VS();\nPIXELSHADER Ps = COMPILE ps_2_0 PS();\n"
         "technique T { pass p { VertexShader = (Vs); PixelShader = (Ps); } }\n"
         "technique U { pass p { VertexShader = COMPILE vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n",
         "", "", {"S", "S2"}},
        {"a vector truncated for a parameter of fewer components",
         "float Sum(float2 v) { return v.x + v.y; }\n"
         "float4 PS(float4 c : COLOR0) : COLOR { float2 a = (float2)c; float b = c;"
         " return Sum(c) + Sum(float2(c.x, a.y)) + b; }\n" + pass,
         "", "e.fx(2,72): warning X3206: implicit truncation of vector type\n"
             "e.fx(2,86): warning X3206: implicit truncation of vector type\n"},
        {"a static whose value a function computes from a parameter, cutting a vector on its own line",
         "float P;\nfloat2 Half(float2 v) { return v * 0.5; }\nstatic float2 H =\n    Half(float4(P, 1, 2, 3));\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return H.xyxy; }\n" + pass,
         "", "e.fx(4,28): warning X3206: implicit truncation of vector type\n"},
        {"vectors given for scalar parameters, their first components taken",
         "sampler S;\nfloat Decode(float v) { return v * v; }\n"
         "float2 Turn(float2 v, float a, float k = 1) { return v * cos(a) * k; }\n"
         "void Split(float v, out float a, inout float b) { a = v; b += v; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float2 an = uv * 4; float a, b = 0; Split(uv, a, b);\n"
         "    return float4(Decode(tex2Dlod(S, float4(uv, 0, 0))), Turn(uv, floor(an * 2 + .5) / 2), a + b); }\n" +
             pass,
         "", "e.fx(5,86): warning X3206: implicit truncation of vector type\n"
             "e.fx(6,26): warning X3206: implicit truncation of vector type\n"
             "e.fx(6,86): warning X3206: implicit truncation of vector type\n",
         {"S"}},
        {"a compile statement's arguments converted to its uniform parameters' types, a vector cut with a warning, "
         "and a one-dimensional lookup of a vector coordinate, its first component taken",
         "float4 L;\nsampler S;\nfloat4 PS(float2 uv : TEXCOORD0, uniform float3 d, uniform float3 s, uniform bool b) : "
         "COLOR { return float4(d * s, b) + tex1D(S, uv) + tex1Dlod(S, uv.xxxx); }\n"
         "PixelShader P = compile ps_2_0 PS(L, 0, 1);\n"
         "technique T { pass p { PixelShader = compile ps_2_0 PS(L.xyz, L, true); } pass q { PixelShader = (P); } }\n",
         "", "e.fx(4,35): warning X3206: implicit truncation of vector type\n"
             "e.fx(5,63): warning X3206: implicit truncation of vector type\n"
             "e.fx(3,131): warning X3206: implicit truncation of vector type\n", {"S"}},
        {"a one-dimensional lookup of too many arguments, refused in its own name",
         "sampler S;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { return tex1D(S, uv.x, 1); }\n" + pass,
         "error X3000: 'tex1D' : no matching overloaded function found"},
        {"a vector given for a scalar parameter of a function with overloads",
         "float Decode(float v) { return v; }\nfloat Decode(int v, int w) { return v; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return Decode(uv); }\n" + pass,
         "e.fx(3,61): error X3000: 'Decode' : no matching overloaded function found"},
        {"a constructor as the target of an assignment, an error after it on its line in its place",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float2 a, b; float4(a, b) = uv.xyxy; float c = a return c; }\n" +
             pass,
         "e.fx(1,93): error X3000: syntax error: unexpected token 'return', ';' expected"},
        {"a constructor as the target of an assignment, of variables that do not add up to it",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float2 a; float3 b; float4(a, b) = uv.xyxy; return a.xyxy; }\n" + pass,
         "e.fx(1,64): error X3014: the variables 'float4(...) =' names do not take its components one for one"},
        {"a static of a loop a parameter decides, which only the shaders compute, read for a state",
         "float N;\nfloat Steps(float n) { float s = 0; for (int i = 0; i < n; i++) s += 1; return s; }\n"
         "static float S = Steps(N);\ntechnique T { pass p { ZFunc = S; } }\n",
         "e.fx(4,32): error X3025: 'S' has a value only in the shaders: 'Steps' has no constant value: the condition "
         "of its 'for' depends on a parameter"},
        {"overloads with texture parameters",
         "texture T;\nsampler S = sampler_state { Texture = <T>; };\n"
         "float4 Get(texture t, sampler s, float2 uv) { return tex2D(s, uv); }\n"
         "float4 Get(texture t, sampler s, float2 uv, float k) { return tex2D(s, uv) * k; }\n"
         "float4 Get(float k, texture t) { return k; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return Get(T, S, uv) + Get(T, S, uv, 2) + Get(1, T); }\n" + pass,
         "", "", {"S"}},
        {"an input no pixel stage reads, left unread",
         "struct V { float4 pos : POSITION; float fog : FOG; float size : PSIZE; float3 n : NORMAL; "
         "float2 uv : TEXCOORD0; };\n"
         "V VS(float4 p : POSITION) { V o = (V)0; o.pos = p; return o; }\n"
         "float4 PS(V i) : COLOR { return i.uv.xyxy; }\n"
         "technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n",
         ""},
        {"an input the pixel stage cannot read, read",
         "struct V { float4 pos : POSITION; float fog : FOG; float2 uv : TEXCOORD0; };\n"
         "float4 PS(V i) : COLOR { return i.uv.xyxy * i.fog; }\n" + pass,
         "e.fx(2,1): error X3000: pixel input semantic 'FOG' is not one ps_2_0 reads (COLOR0-1 and TEXCOORD0-7)"},
        {"a point size read by the pixel stage",
         "float4 PS(float s : PSIZE) : COLOR { return s; }\n" + pass,
         "e.fx(1,1): error X3000: pixel input semantic 'PSIZE' is not one ps_2_0 reads"},
        {"a name nobody declares in a function no pass reaches",
         "float Unused(float a) { return a * Nothing; }\n" + ps + pass,
         "e.fx(1,36): error X3004: undeclared identifier 'Nothing'"},
        {"a name nobody declares in a function only another unreached one calls",
         "float Deep(float a) { return a * Nothing; }\nfloat Unused(float a) { return Deep(a); }\n" + ps + pass,
         "e.fx(1,34): error X3004: undeclared identifier 'Nothing'"},
        {"an error on the first line, where helpers of casts to arrays stand before the text",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float a[2] = (float[2])uv; float b = 1 return a[0] * b; }\n" +
             pass,
         "e.fx(1,83): error X3000: syntax error: unexpected token 'return', ';' expected"},
        {"a write to a global that is not static",
         "float G;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { G = uv.x; return G; }\n" + pass,
         "e.fx(2,44): error X3025: global variables are implicitly constant, enable compatibility mode to allow "
         "modification"},
        {"one-component vectors written through their swizzle",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR\n{ float1 a = uv.x; a.x *= 2; ++a.r; half1 b; b.x = a;"
         " float1 c = uv.y; c.x *= 2; return b + c; }\n" +
             pass,
         ""},
        {"a typedef of a struct and an array sized by a constant expression in a stage's head",
         "static const int N = 1;\nstruct V { float4 pos : POSITION; float4 v[N + 1] : TEXCOORD2; };\ntypedef V W;\n"
         "W VS(float4 p : POSITION) { W o; o.pos = p; o.v[0] = 0.25; o.v[1] = 0.5; return o; }\n"
         "float4 PS(float4 v[2 * N] : TEXCOORD2) : COLOR { return v[0] + v[1]; }\n"
         "technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n",
         ""},
        {"a parameter written through a constructor's target, an inout argument and an intrinsic's output",
         "float G;\nfloat4 H[2];\nvoid Set(inout float v) { v = 1; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float a; float4(a, H[1].x, a, G) = 1;\n"
         "    Set(G); sincos(uv.x, a, H[0].y); return G; }\n" + pass,
         "e.fx(4,63): error X3025: global variables are implicitly constant, enable compatibility mode to allow "
         "modification\ne.fx(4,74): error X3025: global variables are implicitly constant, enable compatibility mode "
         "to allow modification\ne.fx(5,9): error X3025: global variables are implicitly constant, enable "
         "compatibility mode to allow modification\ne.fx(5,29): error X3025"},
        {"a parameter written through modf's and frexp's outputs",
         "float4 P;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { return modf(uv, P.xy).xyxy + frexp(uv, P.zw).x; }\n" +
             pass,
         "e.fx(2,60): error X3025: global variables are implicitly constant, enable compatibility mode to allow "
         "modification\ne.fx(2,83): error X3025"},
        {"a sum nested past what the shader compilers read",
         "float4 PS(float2 t : TEXCOORD0) : COLOR { return " + Repeated("t.x + ", 600) + "t.y; }\n" + pass,
         "e.fx(1,3114): error X3000: the shader code nests too deeply: more than 1024, counting brackets, blocks and "
         "each operator of a chain"},
        {"a local array of arrays of a size 0", "float4 PS() : COLOR { float d[2][0] = { 1, 2 }; return 0; }\n" + pass,
         "e.fx(1,34): error X3005: invalid array size"},
        {"an error after swizzles of several matrix elements, of a matrix that spans lines and on its own line",
         "float4x4 M;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR\n{ float3 a = (M +\n  M)._11_22_33;\n"
         "  float3 b = normalize(M._11_22_33) + undefinedVar; return a.xyzz; }\n" + pass,
         "e.fx(5,39): error X3004: undeclared identifier 'undefinedVar'"},
        {"swizzles of matrix elements that mix the two forms, written and read",
         "float2x2 D;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { float4x4 S = 0; S._m00_11 = uv;"
         " return D._11_m11.xyxy + S[0]; }\n" + pass,
         "e.fx(2,62): error X3018: invalid subscript '_m00_11' of 'float4x4'\n"
         "e.fx(2,85): error X3018: invalid subscript '_11_m11' of 'float2x2'\n"},
        {"a write to a static global", "static float G;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { G = uv.x; return G; }\n" + pass,
         ""},
        {"a function that never returns its value",
         "float H(float a) { a = 1; }\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { return H(uv.x); }\n" + pass,
         "error X3080: 'H': function must return a value"},
        {"a statement without its ';'",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float a = 1 return a; }\n" + pass,
         "e.fx(1,56): error X3000: syntax error: unexpected token 'return', ';' expected"},
        {"a sampler the vertex stage reads, read by the pixel stage after one of its own",
         "sampler X;\nsampler Y;\n"
         "float4 VS(float4 p : POSITION) : POSITION { return p + tex2Dlod(X, float4(p.xy, 0, 0)); }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(Y, uv) * tex2D(X, uv); }\n"
         "technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n",
         "", "", {"X", "Y"}},
        {"two samplers bound to one register, each read by a pass of its own",
         "sampler A : register(s3);\nsampler B : register(s3);\n"
         "float4 PA(float2 uv : TEXCOORD0) : COLOR { return tex2D(A, uv); }\n"
         "float4 PB(float2 uv : TEXCOORD0) : COLOR { return tex2D(B, uv); }\n"
         "technique T { pass p { PixelShader = compile ps_2_0 PA(); } pass q { PixelShader = compile ps_2_0 PB(); } }\n",
         "", "", {"A"}},
        {"two samplers bound to one register that one pass reads",
         "sampler A : register(s3);\nsampler B : register(s3);\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(A, uv) + tex2D(B, uv); }\n" + pass,
         "e.fx(3,1): error X4500: overlapping register semantics not yet implemented 's3': samplers 'A' and 'B' both "
         "take it"},
        {"a sampler array bound over another sampler's register",
         "sampler A[4] : register(s0);\nsampler B : register(s2);\n"
         "float4 VS(float4 p : POSITION) : POSITION { return p + tex2Dlod(B, p); }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(A[0], uv); }\n"
         "technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n",
         "e.fx(4,1): error X4500: overlapping register semantics not yet implemented 's2': samplers 'B' and 'A' both "
         "take it"},
        {"a loop's variable read after it, and a second loop of its name",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { float s = 0; for (int i = 0; i < 2; i++) s += uv.x; float r = i;\n"
         "    [unroll] for (int i = 0; i < 3; i++) s += r; return s * i; }\n" + pass,
         "", "e.fx(2,23): warning X3078: 'i': loop control variable conflicts with a previous declaration in the outer "
             "scope; most recent declaration will be used\n"},
        {"a parameter of unstated size that a shader reads, whose compiled file reads back",
         "float4 R[] = { {1, 0, 0, 1}, {0, 1, 0, 1} };\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { return R[uv.x > 0.5]; }\n" +
             pass,
         ""},
        {"an integer division by a constant zero in a shader, however written",
         "float4 PS(float2 uv : TEXCOORD0) : COLOR { int v = 7 / (2 -\n 2); return v; }\n" + pass,
         "e.fx(1,54): error X4010: Unsigned integer divide by zero"},
        {"an integer remainder by a constant zero in a shader", "float4 PS() : COLOR { return 5 % 0; }\n" + pass,
         "e.fx(1,32): error X4010: Unsigned integer modulus by zero"},
        {"* between a vector and a matrix of parameters",
         "float2 V; float2x2 M;\nfloat4 PS() : COLOR { return (V * M).xyxy; }\n" + pass,
         "e.fx(2,33): error X3020: 'float2' and 'float2x2' differ in shape"},
        {"a comparison of matrices, which makes a matrix of bools",
         "float2x2 M;\nfloat4 PS() : COLOR { bool2x2 b = M < 2.5; return b[0].xyxy; }\n" + pass,
         "e.fx(2,31): error X3000: 'bool2x2': a matrix of ints or bools is not drawn: the drawing language has none"},
        {"samplers of more units than a pass has",
         "sampler A[16];\nsampler B;\nfloat4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(A[15], uv) + tex2D(B, uv); }\n" +
             pass,
         "e.fx(3,1): error X3000: the pass's samplers need more than its 16 units: none is free for 'B'"},
    };
    for (const auto& c : cases) {
        EffectDescription d;
        std::string messages;
        const bool compiled = CompileEffectSource(c.effect, "e.fx", {}, {}, d, messages);
        if (c.refused.empty()) {
            EXPECT_EQ(messages, c.warned) << c.name;
            // A row that fails to compile has nothing to read on: the next row goes on.
            if (!compiled || d.techniques.empty() || d.techniques.back().passes.empty()) {
                ADD_FAILURE() << c.name << ": " << messages;
                continue;
            }
            // Each pass lists a sampler once, however many stages read it, and the file reads back.
            std::multiset<std::string> samplers;
            for (const SamplerSlot& s : d.techniques.back().passes[0].program->samplers)
                samplers.insert(s.name);
            EXPECT_EQ(samplers, c.samplers) << c.name;
            const std::vector<uint8_t> file = WriteCompiledEffect(d);
            EffectDescription back;
            EXPECT_TRUE(ReadCompiledEffect(file.data(), file.size(), back, messages)) << c.name << ": " << messages;
        } else {
            EXPECT_FALSE(compiled) << c.name;
            EXPECT_NE(messages.find(c.refused), std::string::npos) << c.name << ": " << messages;
            EXPECT_EQ(messages.find("''"), std::string::npos) << c.name << ": " << messages;
        }
    }
}

// A constructor's target that the platform's compiler refuses is refused in
// the same words at the same place whether a shader reads its function or a
// state's value does.
TEST(FxShaderForms, AConstructorsTargetIsRefusedAlikeForAStateAndInAShader)
{
    const struct {
        const char* statement;
        std::string refused;
    } cases[] = {
        {"float2 a; float b; float4(a, b) = 1;",
         "e.fx(1,32): error X3014: the variables 'float4(...) =' names do not take its components one for one\n"},
        {"float2 a; float b, c; float4(float2(a, b), c) = 1;", "e.fx(1,42): error X3014: the variables 'float4(...) "
                                                              "=' names do not take its components one for one\n"},
        {"float a, b; float3(a, abs(b), b) = 1;", "e.fx(1,35): error X3025: 'float3(...) =' names 'abs(...)', which "
                                                  "is no variable: only variables take its components\n"},
        {"float a, b; float3(a, float3(a, b, b).x, b) = 1;", "e.fx(1,35): error X3025: 'float3(...) =' names "
                                                             "'float3(...)', which is no variable"},
        {"float a; int b; int2(b, a) = 1;", "e.fx(1,37): error X3025: 'int2(...) =' names 'a', which is no int "
                                            "variable: only variables of its base take its components\n"},
    };
    for (const auto& c : cases) {
        const std::string function = std::string("float F() { ") + c.statement + " return 1; }\n";
        for (const std::string& use :
             {std::string("technique T { pass p { FogDensity = F(); } }\n"),
              std::string("float4 PS() : COLOR { return F(); }\n"
                          "technique T { pass p { PixelShader = compile ps_2_0 PS(); } }\n")}) {
            EffectDescription d;
            std::string messages;
            EXPECT_FALSE(CompileEffectSource(function + use, "e.fx", {}, {}, d, messages)) << c.statement;
            EXPECT_EQ(messages.substr(0, c.refused.size()), c.refused) << use;
        }
    }
}

TEST(FxSemantics, EachSemanticHasOneFixedPlace)
{
    struct Case {
        const char* semantic;
        int attribute;
        int varying;
    } cases[] = {{"POSITION", 0, -1},  {"position0", 0, -1}, {"NORMAL", 3, 19},   {"TEXCOORD0", 4, 0},
                 {"TEXCOORD7", 11, 7}, {"TEXCOORD9", -1, 9}, {"COLOR0", 12, 16},  {"COLOR1", 13, 17},
                 {"TANGENT", 14, 21},  {"BINORMAL", 15, 23}, {"BLENDWEIGHT", 1, 25}, {"FOG", -1, 18},
                 {"PSIZE", -1, -1},    {"NONSENSE", -1, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(VertexInputLocation(SplitSemantic(c.semantic)), c.attribute) << c.semantic;
        EXPECT_EQ(VaryingLocation(SplitSemantic(c.semantic)), c.varying) << c.semantic;
    }
    // A declaration element binds where the shader input of its usage reads.
    EXPECT_EQ(VertexAttributeLocation(5, 2), VertexInputLocation(SplitSemantic("TEXCOORD2")));
    EXPECT_EQ(ColourTarget(SplitSemantic("COLOR2")), 2);
    EXPECT_EQ(ColourTarget(SplitSemantic("SV_Target1")), 1);
    EXPECT_TRUE(IsPositionSemantic(SplitSemantic("SV_Position")));
    EXPECT_FALSE(IsPositionSemantic(SplitSemantic("POSITION1")));
}

using effect_test::Described;

TEST(FxShaderEntry, TheVertexWrapperPlacesInputsAndOutputsAndMovesThePosition)
{
    const EffectDescription d = Described(
        "struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD1; float4 c : COLOR0; };\n"
        "VOut VS(float3 p : POSITION, float4x4 inst : TEXCOORD2, uniform float k) { VOut o; o.pos = mul(float4(p, k), inst);"
        " o.uv = p.xy; o.c = 1; return o; }\n"
        "float4 PS(float2 uv : TEXCOORD1, float4 unused : TEXCOORD5, float2 at : VPOS) : COLOR { return float4(uv, at); }\n"
        "technique t { pass p { VertexShader = compile vs_3_0 VS(2.0); PixelShader = compile ps_3_0 PS(); } }\n");
    ASSERT_FALSE(d.techniques.empty());
    const EffectPass& pass = d.techniques[0].passes[0];
    ShaderEntry vs, ps;
    std::string error;
    ASSERT_TRUE(MakeVertexEntry(d, pass.vertexShader, vs, error)) << error;
    // POSITION at 0, the matrix's four rows at TEXCOORD2..5.
    EXPECT_EQ(vs.attributes, (std::vector<VertexInput>{{0, 0, 0}, {6, 5, 2}, {7, 5, 3}, {8, 5, 4}, {9, 5, 5}}));
    EXPECT_EQ(vs.varyings, (std::vector<Varying>{{{"TEXCOORD", 1}, 1}, {{"COLOR", 0}, 16}}));
    for (const char* part : {"SV_Position", "(2.0)", "zl_pixelShift", "[[vk::location(1)]]", "[[vk::location(16)]]"})
        EXPECT_NE(vs.code.find(part), std::string::npos) << part << "\n" << vs.code;
    ASSERT_TRUE(MakePixelEntry(d, pass.pixelShader, vs.varyings, ps, error)) << error;
    EXPECT_EQ(ps.varyings, (std::vector<Varying>{{{"TEXCOORD", 1}, 1}})); // TEXCOORD5 is never written: read as zero
    for (const char* part : {"SV_Position", "SV_Target0", "zl_alphaTest", "discard"})
        EXPECT_NE(ps.code.find(part), std::string::npos) << part << "\n" << ps.code;
}

// `count` values of consecutive indices, as parameters or members.
std::string Values(const std::string& semantic, int count, const char* separator)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += (i ? separator : "") + std::string("float4 v") + semantic + std::to_string(i) + " : " + semantic +
               std::to_string(i);
    return out;
}

// Signatures that cannot be wrapped, and what a target cannot pass, are
// refused naming the reason: the semantic and the limit where there is one.
TEST(FxShaderEntry, SignaturesThatCannotBeWrappedAreRefusedWithTheReason)
{
    const std::string out = "O VS(float4 p : POSITION) { O o = (O)0; return o; }";
    const std::string vs3 = "VertexShader = compile vs_3_0 VS()", ps3 = "PixelShader = compile ps_3_0 PS()";
    const std::string at = "e.fx(1,1): error X3000: ";
    const struct {
        std::string functions, compile, reason;
    } cases[] = {
        {"float4 VS(float4 p : POSITION) : TEXCOORD0 { return p; }", vs3, "writes no POSITION"},
        {"float4 VS(float4 p : POSITION, uniform float k) : POSITION { return p * k; }", vs3, "arguments do not match"},
        {"float4 VS(float4 p : POSITION, float4 q : POSITION0) : POSITION { return p; }", vs3,
         "'POSITION0' has no attribute of its own: another input reads it"},
        {"float4 VS(float4 p : POSITION, uniform float k, uniform int j = 1) : POSITION { return p * k; }",
         "VertexShader = compile vs_3_0 VS(1, 2, 3)", "arguments do not match"},
        {"float4 PS(float4 c : COLOR0) : NORMAL5 { return c; }", ps3, "pixel output semantic 'NORMAL5'"},
        {"float4 PS(float4 c) : COLOR { return c; }", ps3, "has no semantic"},
        {"struct S { S s : TEXCOORD0; }; float4 PS(S i) : COLOR { return 0; }", ps3,
         "structures nested too deeply (does 'S' hold itself?)"},
        {"struct A0 { float4 a : TEXCOORD0; float4 b : TEXCOORD1; }; struct A1 { A0 a; A0 b; }; struct A2 { A1 a; A1 b; }; struct A3 { A2 a; A2 b; }; struct A4 { A3 a; A3 b; }; struct A5 { A4 a; A4 b; }; struct A6 { A5 a; A5 b; }; struct A7 { A6 a; A6 b; }; struct A8 { A7 a; A7 b; }; struct A9 { A8 a; A8 b; }; struct A10 { A9 a; A9 b; }; struct A11 { A10 a; A10 b; }; float4 PS(A11 i) : COLOR { return 0; }", ps3,
         "too many values to pass between stages"},
        {"float4 VS(float4 p : POSITION, float4x4 t : TEXCOORD14) : POSITION { return p; }", vs3,
         at + "vertex input semantic 'TEXCOORD16' (row 2 of 'TEXCOORD14') is not a declaration usage with an index up to 15"},
        // Handed on whole, each member may be read.
        {"struct I { float4 p : POSITION; " + Values("TEXCOORD", 16, "; ") +
             "; }; float4 VS(I i) : POSITION { I c = i; return c.p; }",
         vs3, at + "vertex input semantic 'TEXCOORD15' is past the 16 inputs a vertex shader reads"},
        {"struct O { float4 p : POSITION; float3 n : NORMAL; };" + out, "VertexShader = compile vs_2_0 VS()",
         at + "vertex output semantic 'NORMAL' is not one vs_2_0 writes (POSITION, PSIZE, COLOR0-1, TEXCOORD0-7 and FOG)"},
        {"struct O { float4 p : POSITION; " + Values("TEXCOORD", 16, "; ") + "; " + Values("NORMAL", 16, "; ") + "; };" +
             out,
         vs3, at + "vertex output semantic 'NORMAL15' finds no place: the 31 places between the stages are taken"},
        {"float4 PS(float3x4 t : TEXCOORD4) : COLOR { return t[0]; }", "PixelShader = compile ps_1_4 PS()",
         at + "pixel input semantic 'TEXCOORD6' (row 2 of 'TEXCOORD4') is not one ps_1_4 reads (COLOR0-1 and TEXCOORD0-5)"},
    };
    for (const auto& c : cases) {
        EffectDescription d;
        std::string messages;
        EXPECT_FALSE(CompileEffectSource(c.functions + "\ntechnique t { pass p { " + c.compile + "; } }\n", "e.fx",
                                         {}, {}, d, messages));
        EXPECT_NE(messages.find(at), std::string::npos) << messages;
        EXPECT_NE(messages.find(c.reason), std::string::npos) << messages;
    }
}

float FloatAt(const std::vector<uint8_t>& block, size_t at)
{
    float v = 0;
    std::memcpy(&v, block.data() + at, 4);
    return v;
}

TEST(FxUniformPacking, ValuesLandAtTheirReflectedPlaces)
{
    std::vector<float> matrix(16);
    for (int i = 0; i < 16; ++i)
        matrix[size_t(i)] = float(i); // row r, column c holds 4r + c
    struct Case {
        Case(UniformField f, std::vector<float> v, std::vector<std::pair<size_t, float>> e)
            : field(std::move(f)), values(std::move(v)), expected(std::move(e)) {}
        UniformField field;
        std::vector<float> values;
        std::vector<std::pair<size_t, float>> expected; // byte offset, value
    } cases[] = {
        // Column-major storage: each column contiguous, 16 bytes apart.
        {{"m", UniformKind::Float, 4, 4, true, 16, 0, 0, 16}, matrix, {{16, 0}, {20, 4}, {24, 8}, {32, 1}, {76, 15}}},
        {{"m", UniformKind::Float, 4, 4, false, 0, 0, 0, 16}, matrix, {{0, 0}, {4, 1}, {16, 4}, {60, 15}}},
        // float4x3: four rows of three, stored by column.
        {{"m", UniformKind::Float, 4, 3, true, 0, 0, 0, 16}, std::vector<float>(matrix.begin(), matrix.begin() + 12),
         {{0, 0}, {4, 3}, {16, 1}, {44, 11}}},
        // Arrays of scalars: one element per 16 bytes.
        {{"a", UniformKind::Float, 1, 1, true, 32, 3, 16, 0}, {1, 2, 3}, {{32, 1}, {48, 2}, {64, 3}}},
        {{"v", UniformKind::Float, 1, 3, true, 4, 0, 0, 0}, {7, 8, 9}, {{4, 7}, {8, 8}, {12, 9}}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(UniformFieldFits(c.field, 96));
        std::vector<uint8_t> block(96, 0);
        raster::PackUniform(c.field, c.values, block);
        for (const auto& [at, value] : c.expected)
            EXPECT_EQ(FloatAt(block, at), value) << c.field.name << " at " << at;
    }
    // Bools and ints as 32-bit integers.
    std::vector<uint8_t> block(16, 0);
    raster::PackUniform({"b", UniformKind::Bool, 1, 1, true, 0, 0, 0, 0}, {0.5f}, block);
    raster::PackUniform({"i", UniformKind::Int, 1, 1, true, 4, 0, 0, 0}, {-3.0f}, block);
    int32_t b = 0, i = 0;
    std::memcpy(&b, block.data(), 4);
    std::memcpy(&i, block.data() + 4, 4);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(i, -3);
    // A field reaching past its block is refused before anything is written.
    EXPECT_FALSE(UniformFieldFits({"m", UniformKind::Float, 4, 4, true, 40, 0, 0, 16}, 96));
    EXPECT_FALSE(UniformFieldFits({"a", UniformKind::Float, 1, 4, true, 0, 100000, 16, 0}, 96));
}

TEST(FxPassProgram, ACompiledPassKeepsItsCodePlacesAndSamplers)
{
    const EffectDescription d = Described(
        "float4x4 WorldViewProj;\nfloat4 Tint = float4(1, 1, 1, 1);\nbool Lit;\nfloat Weights[3];\n"
        "texture Albedo;\ntexture Detail;\n"
        "sampler2D AlbedoSampler = sampler_state { Texture = <Albedo>; MinFilter = Linear; AddressU = Clamp; };\n"
        "sampler2D DetailSampler = sampler_state { Texture = <Detail>; };\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, WorldViewProj); }\n"
        "float4 PS(float2 uv : TEXCOORD0) : COLOR { float4 c = tex2D(AlbedoSampler, uv) * tex2D(DetailSampler, uv) * Tint;"
        " return Lit ? c * Weights[2] : c; }\n"
        "technique t { pass p { CullMode = None; VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n"
        "technique none { pass p { ZEnable = false; } }\n");
    ASSERT_EQ(d.techniques.size(), 2u);
    const PassProgram& p = *d.techniques[0].passes[0].program;
    ASSERT_FALSE(p.vertex.spirv.empty());
    EXPECT_EQ(p.vertex.spirv[0], 0x07230203u); // the SPIR-V magic number
    EXPECT_NE(p.vertex.glsl.find("#version 450"), std::string::npos);
    EXPECT_NE(p.pixel.glsl.find("#version 450"), std::string::npos);
    EXPECT_EQ(p.vertexInputs, (std::vector<VertexInput>{{0, 0, 0}}));
    auto field = [&](const std::string& name) {
        auto found = std::find_if(p.uniforms.begin(), p.uniforms.end(), [&](const UniformField& f) { return f.name == name; });
        return found == p.uniforms.end() ? UniformField{} : *found;
    };
    EXPECT_EQ(field("WorldViewProj").offset, 0u);
    EXPECT_EQ(field("WorldViewProj").matrixStride, 16u);
    EXPECT_TRUE(field("WorldViewProj").columnMajor);
    EXPECT_EQ(field("Tint").offset, 64u);
    EXPECT_EQ(field("Lit").kind, UniformKind::Bool);
    EXPECT_EQ(field("Weights").elements, 3u);
    EXPECT_EQ(field("Weights").arrayStride, 16u);
    for (const UniformField& f : p.uniforms)
        EXPECT_TRUE(UniformFieldFits(f, p.uniformBytes)) << f.name;
    ASSERT_EQ(p.samplers.size(), 2u);
    EXPECT_NE(p.samplers[0].unit, p.samplers[1].unit);
    for (const SamplerSlot& s : p.samplers)
        EXPECT_EQ(s.texture, s.name == "AlbedoSampler" ? "Albedo" : "Detail");
    const PassProgram& none = *d.techniques[1].passes[0].program;
    EXPECT_TRUE(none.Empty());
}

TEST(FxPassProgram, AStageDeclaresOnlyTheParametersSomeStageOfTheEffectReads)
{
    // Declared, the unused array alone would outgrow the uniform block.
    const EffectDescription d = Described(
        "float4 Unused[4200];\nfloat Scale;\nfloat Gain;\n"
        "float4 VS(float4 p : POSITION, uniform float k) : POSITION { return p * k; }\n"
        "float4 PS() : COLOR { return Gain; }\n"
        "technique t { pass p { VertexShader = compile vs_3_0 VS(Scale); PixelShader = compile ps_3_0 PS(); } }\n");
    ASSERT_FALSE(d.techniques.empty());
    const PassProgram& p = *d.techniques[0].passes[0].program;
    std::vector<std::string> names;
    for (const UniformField& f : p.uniforms)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Gain", "Scale"}));
    EXPECT_LE(p.uniformBytes, 16u);
}

TEST(FxPassProgram, StagesOfManyPassesDeclareWhatTheyReadAtPlacesTheyAgreeOn)
{
    // One vertex stage shared by every pass, and a pixel stage for each reading
    // a parameter of its own: too many for every stage to declare them all.
    const int kPasses = 300;
    std::string effect = "float4x4 Shared;\n";
    for (int i = 0; i < kPasses; ++i)
        effect += "float4 v" + std::to_string(i) + ";\n";
    effect += "float4 VS(float4 p : POSITION) : POSITION { return mul(p, Shared); }\n";
    for (int i = 0; i < kPasses; ++i)
        effect += "float4 PS" + std::to_string(i) + "() : COLOR { return v" + std::to_string(i) + "; }\n";
    effect += "technique t {\n";
    for (int i = 0; i < kPasses; ++i)
        effect += "pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS" + std::to_string(i) +
                  "(); }\n";
    effect += "}\n";
    const EffectDescription d = Described(effect);
    ASSERT_FALSE(d.techniques.empty());
    ASSERT_EQ(d.techniques[0].passes.size(), size_t{kPasses});
    for (int i : {0, 1, 150, kPasses - 1}) {
        const PassProgram& p = *d.techniques[0].passes[size_t(i)].program;
        const std::string name = "v" + std::to_string(i);
        // Where all of them would lie together, in both stages.
        ASSERT_EQ(p.uniforms.size(), 2u) << i;
        for (const UniformField& f : p.uniforms)
            EXPECT_EQ(f.offset, f.name == "Shared" ? 0u : 64u + 16u * uint32_t(i)) << f.name;
        EXPECT_EQ(p.vertex.glsl.find(name + ";"), std::string::npos) << p.vertex.glsl;
        EXPECT_NE(p.pixel.glsl.find(name + ";"), std::string::npos) << p.pixel.glsl;
        EXPECT_EQ(p.pixel.glsl.find("v" + std::to_string(i + 1) + ";"), std::string::npos) << p.pixel.glsl;
    }
}

TEST(FxPassProgram, PlanningThePassesCostsInProportionToThem)
{
    // Four times the passes (sharing their stages) and parameters: at most 4.5
    // times the steps.
    auto effect = [](size_t passes) {
        std::string text = "float4 Tint;\n";
        for (size_t i = 0; i < passes; ++i)
            text += "float4 unread" + std::to_string(i) + ";\n";
        text += "float4 PS() : COLOR { return Tint; }\ntechnique t {\n" +
                Repeated("pass { PixelShader = compile ps_3_0 PS(); }\n", passes) + "}\n";
        return text;
    };
    std::vector<uint64_t> steps;
    for (size_t passes : {500u, 2000u}) {
        const std::string text = effect(passes);
        EffectDescription d;
        std::string messages;
        ASSERT_TRUE(ParseEffect(text, "e.fx", d, messages)) << messages;
        steps.push_back(StepsOf([&] { EXPECT_TRUE(CompileEffectShaders(text, "e.fx", d, messages)) << messages; }));
    }
    EXPECT_LE(steps[1] * 2, steps[0] * 9) << steps[0] << " then " << steps[1];
}

TEST(FxPassProgram, AClosingProgramStopsTheStagesWithOneLine)
{
    const std::string source = "float4 PS() : COLOR { return 1; }\n"
                               "technique t { pass p { PixelShader = compile ps_3_0 PS(); } }\n";
    EffectDescription d;
    std::string messages;
    ASSERT_TRUE(ParseEffect(source, "e.fx", d, messages)) << messages;
    platform::detail::RecordCloseSignal(SIGINT);
    const bool compiled = CompileEffectShaders(source, "e.fx", d, messages);
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors;
    const EffectResult created = RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors, "e.fx");
    platform::detail::ForgetCloseSignals();
    EXPECT_FALSE(compiled);
    EXPECT_EQ(messages, EffectClosingError("e.fx"));
    EXPECT_EQ(created, kEffectAborted);
    EXPECT_EQ(errors, EffectClosingError("e.fx"));
    EXPECT_TRUE(d.techniques[0].passes[0].program->Empty());
}

} // namespace
