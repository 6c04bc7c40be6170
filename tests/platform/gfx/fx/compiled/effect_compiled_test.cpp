#include "platform/gfx/fx/compiled/compiled_effect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <span>

#include <zlib.h>

#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/compiled/compiled_effect_check.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/window/close_signals.h"
#include "testing/costly_expression.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

namespace {

gfx::EffectDescription Grammar(const std::vector<gfx::EffectMacro>& defines = {})
{
    return effect_test::Described(effect_test::Fixture("grammar.fx"), effect_test::FixtureDir() + "grammar.fx", defines,
                                  effect_test::FileReader());
}

// `value` over the four bytes of `file` at `at`, as the file stores a count or size.
void PutWord(std::vector<uint8_t>& file, size_t at, uint32_t value)
{
    platform::ByteWriter(std::span(file).subspan(at)).U32(value);
}

// Puts a fresh checksum on a changed payload, so the reader's other checks are reached.
void Reseal(std::vector<uint8_t>& file)
{
    PutWord(file, 16, static_cast<uint32_t>(crc32(0L, file.data() + 20, static_cast<uInt>(file.size() - 20))));
}

// Why the reader refuses `file`, or "" when it reads it.
std::string Refusal(const std::vector<uint8_t>& file)
{
    gfx::EffectDescription out;
    std::string error;
    return gfx::ReadCompiledEffect(file.data(), file.size(), out, error) ? "" : error;
}
std::string Refusal(const gfx::EffectDescription& d) { return Refusal(gfx::WriteCompiledEffect(d)); }

TEST(CompiledEffect, RoundTripKeepsTheWholeDescription)
{
    for (const auto& defines : {std::vector<gfx::EffectMacro>{}, std::vector<gfx::EffectMacro>{{"USE_HDR", "1"}}}) {
        gfx::EffectDescription original = Grammar(defines);
        std::vector<uint8_t> file = gfx::WriteCompiledEffect(original);
        EXPECT_TRUE(gfx::LooksLikeCompiledEffect(file.data(), file.size()));
        EXPECT_EQ(std::memcmp(file.data(), "ZFXC\r\n\x1a\n", 8), 0);
        gfx::EffectDescription back;
        std::string error;
        ASSERT_TRUE(gfx::ReadCompiledEffect(file.data(), file.size(), back, error)) << error;
        EXPECT_EQ(back, original);
    }
}

// Small, but with every section of the file filled.
gfx::EffectDescription Small()
{
    return effect_test::Described(
        "struct S { float a; int b[2]; };\nS sp[2] = {1, 2, 3, 4, 5, 6};\n"
        "float2 v : POS < string n = \"x\"; float m = 2; > = float2(1, 2);\n"
        "float4x4 m[2];\nstring s = \"t\";\ntexture t;\n"
        "sampler2D smp = sampler_state { Texture = <t>; AddressU = Wrap; };\n"
        "float4 F(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(smp, uv) * sp[1].a; }\n"
        "technique a < int k = 1; > { pass p < float q = 1; > { CullMode = None;"
        " PixelShader = compile ps_2_0 F(); } pass { FVF = XYZ | Normal | Tex1; } }\n",
        "small.fx", {{"D", "1"}});
}

TEST(CompiledEffect, EveryTruncationAndEveryFlippedByteIsRefused)
{
    std::vector<uint8_t> file = gfx::WriteCompiledEffect(Small());
    gfx::EffectDescription untouched;
    untouched.defines = {"UNTOUCHED"};
    for (size_t length = 0; length < file.size(); ++length) {
        gfx::EffectDescription out = untouched;
        std::string error;
        EXPECT_FALSE(gfx::ReadCompiledEffect(file.data(), length, out, error)) << length;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(out, untouched);
    }
    for (size_t at = 0; at < file.size(); ++at) {
        std::vector<uint8_t> damaged = file;
        damaged[at] ^= 0x5a;
        gfx::EffectDescription out;
        std::string error;
        EXPECT_FALSE(gfx::ReadCompiledEffect(damaged.data(), damaged.size(), out, error)) << at;
    }
}

TEST(CompiledEffect, DamageBehindAValidChecksumIsStillFound)
{
    std::vector<uint8_t> file = gfx::WriteCompiledEffect(Small());

    // Version and size headers.
    for (uint8_t version : {uint8_t(3), uint8_t(5)}) {
        // Version 3 files lack the struct types of parameters and where each
        // uniform's values begin: refused, so their source is compiled again.
        std::vector<uint8_t> other = file;
        other[8] = version;
        EXPECT_EQ(Refusal(other), "unsupported compiled effect version " + std::to_string(version));
    }
    std::vector<uint8_t> longer = file;
    longer.push_back(0);
    EXPECT_EQ(Refusal(longer), "the file size does not match its header");

    // Every byte of the payload changed, resealed: refused with a reason or read
    // into a description that still keeps every rule; never a crash.
    for (size_t at = 20; at < file.size(); ++at) {
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xff), uint8_t(0x7f)}) {
            std::vector<uint8_t> damaged = file;
            damaged[at] = value;
            Reseal(damaged);
            gfx::EffectDescription read;
            std::string why;
            if (gfx::ReadCompiledEffect(damaged.data(), damaged.size(), read, why))
                EXPECT_EQ(gfx::CheckEffectDescription(read), "");
            else
                EXPECT_FALSE(why.empty());
        }
    }

    // A huge count with few bytes behind it is refused before anything is allocated.
    std::vector<uint8_t> huge = file;
    for (int k = 0; k < 4; ++k)
        huge[20 + size_t(k)] = 0xff;  // the define count
    Reseal(huge);
    EXPECT_EQ(Refusal(huge), "a count runs past the end of the file");
}

TEST(CompiledEffect, DescriptionRulesAreChecked)
{
    gfx::EffectDescription d = Grammar();
    ASSERT_FALSE(d.techniques.empty());
    EXPECT_EQ(gfx::CheckEffectDescription(d), "");
    {
        // A close signal ends the check of thousands of parameters early.
        gfx::EffectDescription many = d;
        for (int i = 0; i < 5000; ++i) {
            many.parameters.push_back(d.parameters[0]);
            many.parameters.back().name = "copy" + std::to_string(i);
        }
        platform::detail::RecordCloseSignal(SIGINT);
        bool stopped = false;
        EXPECT_EQ(gfx::CheckEffectDescription(many, &stopped), "");
        platform::detail::ForgetCloseSignals();
        EXPECT_TRUE(stopped);
        stopped = false;
        EXPECT_EQ(gfx::CheckEffectDescription(many, &stopped), "");
        EXPECT_FALSE(stopped);
    }
    auto broken = [&](auto change) {
        gfx::EffectDescription copy = d;
        change(copy);
        return Refusal(copy);
    };
    EXPECT_EQ(broken([](auto& c) { c.parameters[1].name = c.parameters[0].name; }),
              "parameter 'MatWorldViewProj' is declared twice");
    EXPECT_EQ(broken([](auto& c) { c.parameters[0].defaults.pop_back(); }),
              "parameter 'MatWorldViewProj' has the wrong number of initial values");
    EXPECT_EQ(broken([](auto& c) { c.parameters[0].rows = 5; }),
              "parameter 'MatWorldViewProj' has an invalid size");
    EXPECT_EQ(broken([](auto& c) { c.functions.clear(); }),
              "pass 'p0' compiles the unknown function 'TransformVS'");
    EXPECT_EQ(broken([](auto& c) {
                  for (auto& p : c.parameters)
                      if (p.name == "shadowAtlas")
                          p.name = "renamed";
              }),
              "sampler 'shadowSampler' names the unknown texture 'shadowAtlas'");
    // A vertex input keeps its usage and index only within what a declaration can carry.
    for (const gfx::VertexInput input : {gfx::VertexInput{3, 14, 0}, gfx::VertexInput{3, 5, 16},
                                         gfx::VertexInput{16, 0, 0}, gfx::VertexInput{16, 0, 1}})
        EXPECT_EQ(broken([&](auto& c) { c.techniques[0].passes[0].program.Own().vertexInputs.push_back(input); }),
                  "a vertex input has an unknown location or usage")
            << input.location << " " << input.usage << " " << input.usageIndex;
}

// Passes that compile the same shaders share one program, in memory and in the
// file, which keeps it once: a pass after the first costs the file less than
// the program. Bytes are counted as written; copies kept whole still read.
TEST(CompiledEffect, AProgramPassesShareIsKeptOnce)
{
    std::string passes;
    for (int i = 0; i < 64; ++i)
        passes += "pass p" + std::to_string(i) + " { VertexShader = compile vs_3_0 V(); PixelShader = compile ps_3_0 P(); }\n";
    const std::string source = "float4 Tint;\nfloat4 V(float4 p : POSITION) : POSITION { return p * Tint; }\n"
                               "float4 P() : COLOR0 { return Tint; }\ntechnique t {\n" + passes + "}\n";
    const gfx::EffectDescription d = effect_test::Described(source);
    ASSERT_FALSE(d.techniques.empty());
    const auto shared = [](const gfx::EffectDescription& e) {
        const std::vector<gfx::EffectPass>& all = e.techniques[0].passes;
        return all[0].program.Held() && std::all_of(all.begin(), all.end(), [&](const gfx::EffectPass& pass) {
                   return pass.program.Held() == all[0].program.Held();
               });
    };
    EXPECT_TRUE(shared(d));
    const std::vector<uint8_t> file = gfx::WriteCompiledEffect(d);
    gfx::EffectDescription first = d;
    first.techniques[0].passes.resize(1);
    EXPECT_LT((file.size() - gfx::WriteCompiledEffect(first).size()) / 63,
              gfx::WritePassProgram(*d.techniques[0].passes[0].program).size());
    gfx::EffectDescription back;
    std::string error;
    ASSERT_TRUE(gfx::ReadCompiledEffect(file.data(), file.size(), back, error)) << error;
    EXPECT_EQ(back, d);
    EXPECT_TRUE(shared(back));
    gfx::EffectDescription copies = d;
    for (gfx::EffectPass& pass : copies.techniques[0].passes)
        pass.program.Own();
    EXPECT_EQ(Refusal(copies), "");
    for (const gfx::EffectDescription& e : {d, copies, Small(), Grammar()})
        EXPECT_EQ(gfx::CompiledEffectBytes(e), gfx::WriteCompiledEffect(e).size());
    // The file is held to its bound, lowered here to one byte short of it: at compile, in words, and by the writer.
    gfx::detail::CompiledEffectBytesOverride() = file.size() - 1;
    const std::string over = "s.fx(1,1): error X3000: the compiled effect would come to more than ";
    EXPECT_EQ(effect_test::CompileMessages(source).rfind(over + std::to_string(file.size() - 1) + " bytes", 0), 0u);
    EXPECT_TRUE(gfx::WriteCompiledEffect(d).empty());
    gfx::detail::CompiledEffectBytesOverride() = 0;
    // The last pass names the first program; a number past those written is refused.
    std::vector<uint8_t> past = file;
    const uint8_t named[] = {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0};
    const auto at = std::find_end(past.begin(), past.end(), std::begin(named), std::end(named));
    ASSERT_NE(at, past.end());
    PutWord(past, size_t(at - past.begin()) + 4, 1);
    Reseal(past);
    EXPECT_EQ(Refusal(past), "a program names none written before it");
}

TEST(CompiledEffect, VertexInputsWithoutAFixedPlaceKeepTheirUsageAndIndex)
{
    gfx::EffectDescription d = Grammar(), back;
    ASSERT_FALSE(d.techniques.empty());
    // TEXCOORD2 at its fixed place; COLOR2, POSITION1 and SAMPLE15 at places of their own.
    d.techniques[0].passes[0].program.Own().vertexInputs = {{0, 10, 2}, {1, 0, 1}, {6, 5, 2}, {15, 13, 15}};
    const std::vector<uint8_t> file = gfx::WriteCompiledEffect(d);
    std::string error;
    ASSERT_TRUE(gfx::ReadCompiledEffect(file.data(), file.size(), back, error)) << error;
    EXPECT_EQ(back, d);
}

// Every kind of fact the reader holds to the compiler's bounds: states from
// expressions, constants set by register, a sampler's state from a parameter,
// a pass with both stages, and one whose pixel shader is chosen from an array.
constexpr const char* kFacts = R"(
float4 tint = 1;
float bias = 0;
bool fog = true;
int which = 0;
float4 c[224];
texture tex;
sampler2D smp = sampler_state { Texture = <tex>; MipMapLodBias = (bias); };
struct Light { float4 colour; float power[2]; };
Light light;
string names[2] = { "near", "far" };
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PA(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(smp, uv) * tint; }
float4 PB() : COLOR0 { return tint * light.colour * light.power[1]; }
PixelShader ps[2] = { compile ps_2_0 PA(), compile ps_2_0 PB() };
technique t {
    pass fixed { FogEnable = (fog); PixelShaderConstantF[0] = (c);
                 VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PA(); }
    pass chosen { PixelShader = (ps[which]); }
}
)";

gfx::EffectDescription Facts() { return effect_test::Described(kFacts); }

size_t ParameterIndex(const gfx::EffectDescription& d, const std::string& name)
{
    for (size_t i = 0; i < d.parameters.size(); ++i)
        if (d.parameters[i].name == name)
            return i;
    ADD_FAILURE() << name;
    return 0;
}

// The bytes of `text` as the evaluator writes a state's expression, its names
// the parameters of `d`; `as` makes a name read another parameter number and
// shape than its own.
struct Reading {
    std::string name;
    uint32_t parameter = 0;
    gfx::ValueShape shape;
};
std::vector<uint8_t> ExpressionBytes(const gfx::EffectDescription& d, const std::string& text,
                                     const std::vector<Reading>& as = {})
{
    struct Names : gfx::ExpressionNames {
        std::vector<Reading> readings; // the first of a name is the one read
        gfx::ExpressionName Find(std::string_view name) override
        {
            gfx::ExpressionName found;
            for (const Reading& r : readings)
                if (r.name == name) {
                    found.kind = gfx::ExpressionName::Kind::Parameter;
                    found.parameter = r.parameter;
                    found.shape = r.shape;
                    break;
                }
            return found;
        }
    } names;
    names.readings = as;
    for (size_t i = 0; i < d.parameters.size(); ++i) {
        const gfx::EffectParameter& p = d.parameters[i];
        const gfx::ValueBase base = p.type == gfx::EffectParameterType::Bool  ? gfx::ValueBase::Bool
                                    : p.type == gfx::EffectParameterType::Int ? gfx::ValueBase::Int
                                                                              : gfx::ValueBase::Float;
        names.readings.push_back({p.name, static_cast<uint32_t>(i), {base, p.rows, p.columns, p.rows > 1, p.arraySize}});
    }
    gfx::TokenListReader tokens(gfx::Tokenize(text));
    gfx::ExpressionBudget budget;
    gfx::Expression program;
    gfx::ExpressionError error;
    EXPECT_TRUE(gfx::CompileExpression(tokens, names, budget, program, error)) << error.text;
    std::vector<uint8_t> bytes;
    program.Write(bytes);
    return bytes;
}

TEST(CompiledEffect, StoredStateExpressionsAreCheckedAsTheCompilerChecksThem)
{
    const gfx::EffectDescription original = Facts();
    ASSERT_FALSE(original.techniques.empty());
    const uint32_t fog = static_cast<uint32_t>(ParameterIndex(original, "fog"));
    const uint32_t tex = static_cast<uint32_t>(ParameterIndex(original, "tex"));
    const uint32_t light = static_cast<uint32_t>(ParameterIndex(original, "light"));
    const gfx::ValueShape float4{gfx::ValueBase::Float, 1, 4};
    const gfx::ValueShape boolean{gfx::ValueBase::Bool};
    const std::string value = "pass 'fixed' of technique 't': the value of 'FogEnable': ";
    // A cut or a byte more of a sound expression.
    auto changed = [&](int by) {
        std::vector<uint8_t> bytes = ExpressionBytes(original, "fog");
        by < 0 ? bytes.pop_back() : bytes.push_back(0);
        return bytes;
    };
    const struct {
        const char* what;
        size_t assignment;        // of the first pass
        uint32_t index;           // the state's index
        std::vector<uint8_t> expression;
        std::string refusal;
    } cases[] = {
        {"a value of the wrong size", 0, 0, ExpressionBytes(original, "tint"),
         "state 'FogEnable' has an expression of the wrong size"},
        {"bytes cut short", 0, 0, changed(-1),
         "state 'FogEnable' has an unsound expression: damaged expression: more instructions than bytes"},
        {"bytes after it", 0, 0, changed(1), "state 'FogEnable' has bytes after its expression"},
        {"registers past the last", 1, 1, ExpressionBytes(original, "c"),
         "state 'PixelShaderConstant' from register 1 has room for 223 registers, not 224"},
        {"a value that names no parameter", 0, 0, ExpressionBytes(original, "1"), value + "it names no parameter"},
        {"a parameter number past the table", 0, 0,
         ExpressionBytes(original, "fog", {{"fog", static_cast<uint32_t>(original.parameters.size()), boolean}}),
         value + "it reads parameter number " + std::to_string(original.parameters.size()) + ", which holds no numbers"},
        {"a texture read as a number", 0, 0, ExpressionBytes(original, "fog", {{"fog", tex, boolean}}),
         value + "it reads parameter number 5, which holds no numbers"},
        {"a struct read past its values", 0, 0,
         ExpressionBytes(original, "light[6]", {{"light", light, gfx::ValueShape{gfx::ValueBase::Float, 1, 1, false, 7}}}),
         value + "it reads parameter 'light' as another shape than its own"},
        {"a parameter read past its values", 0, 0, ExpressionBytes(original, "any(fog)", {{"fog", fog, float4}}),
         value + "it reads parameter 'fog' as another shape than its own"},
        {"a parameter read as another base", 0, 0,
         ExpressionBytes(original, "fog", {{"fog", fog, gfx::ValueShape{gfx::ValueBase::Float}}}),
         value + "it reads parameter 'fog' as another shape than its own"},
    };
    for (const auto& c : cases) {
        gfx::EffectDescription d = original;
        gfx::StateAssignment& a = d.techniques[0].passes[0].assignments[c.assignment];
        a.index = c.index;
        a.expression = c.expression;
        EXPECT_EQ(Refusal(d), c.refusal) << c.what;
    }
    // A sampler's state and a shader's index are held to the same.
    gfx::EffectDescription d = original;
    d.parameters[ParameterIndex(d, "smp")].samplerAssignments[0].expression = ExpressionBytes(original, "tint");
    EXPECT_EQ(Refusal(d), "state 'MipMapLodBias' has an expression of the wrong size");
    d = original;
    d.techniques[0].passes[1].pixelChoice.index = ExpressionBytes(original, "0");
    EXPECT_EQ(Refusal(d), "pass 'chosen' of technique 't': the index of 'ps': it names no parameter");
}

TEST(CompiledEffect, FactsTheCompilerCouldNotHaveWrittenAreRefusedInOneLine)
{
    using D = gfx::EffectDescription;
    const D original = Facts();
    ASSERT_FALSE(original.techniques.empty());
    const size_t smp = ParameterIndex(original, "smp");
    const auto fixed = [](D& d) -> gfx::EffectPass& { return d.techniques[0].passes[0]; };
    const auto program = [&](D& d) -> gfx::PassProgram& { return fixed(d).program.Own(); };
    // The place of the struct's first member in the program of the chosen pass's second shader.
    const auto LightField = [](D& d) -> gfx::UniformField& {
        for (gfx::UniformField& f : d.techniques[0].passes[1].choicePrograms[1].Own().uniforms)
            if (f.name == "light" && f.first == 0)
                return f;
        ADD_FAILURE() << "no place of 'light'";
        return d.techniques[0].passes[1].choicePrograms[1].Own().uniforms.front();
    };
    // A second sampler, 'other', read by the fixed pass on `unit`.
    const auto addOther = [&](D& d, uint32_t unit) {
        d.parameters.push_back(d.parameters[smp]);
        d.parameters.back().name = "other";
        program(d).samplers.push_back(program(d).samplers[0]);
        program(d).samplers.back().name = "other";
        program(d).samplers.back().unit = unit;
    };
    const std::string fixedPass = "pass 'fixed' of technique 't': ", chosen = "pass 'chosen' of technique 't': ";
    const struct {
        const char* what;
        std::function<void(D&)> change;
        std::string refusal;
    } cases[] = {
        {"a name with a line break", [](D& d) { d.parameters[0].name = "tint\nmore"; },
         "a parameter's name is not an identifier"},
        {"a pass named with a blank", [&](D& d) { fixed(d).name = "a b"; }, "a pass's name is not an identifier"},
        {"a function of no name", [](D& d) { d.functions[0].name.clear(); },
         "a struct or function's name is not an identifier"},
        {"an initial value not a number", [](D& d) { d.parameters[0].defaults[0] = std::nanf(""); },
         "parameter 'tint' has an initial value that is not a number"},
        {"a bool of 2", [](D& d) { d.parameters[2].defaults[0] = 2; },
         "parameter 'fog' has a bool's initial value that is neither 0 nor 1"},
        {"an int of a half", [](D& d) { d.parameters[3].defaults[0] = 0.5f; },
         "parameter 'which' has an int's initial value that is not a whole number"},
        {"more strings than an array of them holds", [](D& d) { d.parameters[8].strings.push_back("past"); },
         "parameter 'names' has text values that do not fit it"},
        {"an array's last string empty", [](D& d) { d.parameters[8].strings.back().clear(); },
         "parameter 'names' has text values that do not fit it"},
        {"a state written at index 256", [&](D& d) { fixed(d).states[0].index = 256; },
         "pass 'fixed' has a name or value the compiler does not write"},
        {"a shader both compiled and chosen",
         [](D& d) { d.techniques[0].passes[1].pixelShader = d.techniques[0].passes[0].pixelShader; },
         chosen + "its pixel shader is both compiled and chosen"},
        {"a shader with no place among the states", [&](D& d) { fixed(d).assignments.pop_back(); },
         fixedPass + "its pixel shader has no place among its states"},
        {"no program where shaders are set", [&](D& d) { program(d) = {}; },
         fixedPass + "a program without both stages"},
        {"a program where no shader is set", [&](D& d) {
             fixed(d).vertexShader = {};
             fixed(d).pixelShader = {};
         },
         fixedPass + "a program where no shader is set"},
        {"a stage that is not SPIR-V", [&](D& d) { program(d).pixel.spirv[0] = 0; },
         fixedPass + "a program without both stages"},
        // Texts the driver would die on (a chain of 2,000 operators), or take too much memory for.
        {"a deep pixel text", [&](D& d) { program(d).pixel.glsl += std::string(2000, '+'); },
         fixedPass + "its pixel text nests deeper than 1024, more than the drawing takes"},
        {"a vertex text of 1 MiB", [&](D& d) { program(d).vertex.glsl.resize(1 << 20 | 1, ' '); },
         fixedPass + "its vertex text comes to 1048577 bytes, over the bound of 1048576 the drawing takes"},
        {"chosen programs missing", [](D& d) { d.techniques[0].passes[1].choicePrograms.clear(); },
         chosen + "its programs are missing"},
        {"a uniform of a sampler", [&](D& d) { program(d).uniforms[0].name = "smp"; },
         "pass 'fixed': a uniform names the unknown parameter 'smp'"},
        {"a uniform of another shape", [&](D& d) { program(d).uniforms[0].columns = 3; },
         fixedPass + "uniform 'tint' has another shape than its parameter"},
        {"a uniform of another kind", [&](D& d) { program(d).uniforms[0].kind = gfx::UniformKind::Bool; },
         fixedPass + "uniform 'tint' has another shape than its parameter"},
        {"a uniform placed twice", [&](D& d) { program(d).uniforms.push_back(program(d).uniforms[0]); },
         fixedPass + "uniform 'tint' is placed twice"},
        {"a struct's uniform where no member begins", [&](D& d) { LightField(d).first = 1; },
         chosen + "program 1: uniform 'light' has another shape than its parameter"},
        {"a struct's uniform of another shape", [&](D& d) { LightField(d).columns = 1; },
         chosen + "program 1: uniform 'light' has another shape than its parameter"},
        {"a struct's member placed twice", [&](D& d) {
             std::vector<gfx::UniformField>& uniforms = d.techniques[0].passes[1].choicePrograms[1].Own().uniforms;
             uniforms.push_back(LightField(d));
         },
         chosen + "program 1: uniform 'light' is placed twice"},
        {"a sampler of no sampler", [&](D& d) { program(d).samplers[0].name = "tint"; },
         fixedPass + "sampler 'tint' is no sampler parameter"},
        {"a sampler reading another texture", [&](D& d) { program(d).samplers[0].texture.clear(); },
         fixedPass + "sampler 'smp' reads another texture than its parameter names"},
        {"two samplers on one unit", [&](D& d) { addOther(d, program(d).samplers[0].unit); },
         fixedPass + "sampler 'other' shares its name or unit"},
        {"an array past the last unit", [&](D& d) {
             d.parameters[smp].arraySize = 2;
             program(d).samplers[0].unit = 15;
         },
         fixedPass + "sampler 'smp' shares its name or unit"},
        {"an array over the unit of a sampler after it", [&](D& d) {
             addOther(d, 2);
             d.parameters[smp].arraySize = 3;
         },
         fixedPass + "sampler 'other' shares its name or unit"},
        {"vertex inputs out of order", [&](D& d) {
             program(d).vertexInputs = {{3, 3, 0}, {0, 0, 0}};
         },
         fixedPass + "its vertex inputs are not in order of their places"},
        {"two vertex inputs of one element", [&](D& d) {
             program(d).vertexInputs = {{0, 0, 0}, {1, 0, 0}};
         },
         fixedPass + "two vertex inputs read one declaration element"},
    };
    for (const auto& c : cases) {
        D d = original;
        c.change(d);
        const std::string refusal = Refusal(d);
        EXPECT_EQ(refusal, c.refusal) << c.what;
        EXPECT_EQ(refusal.find('\n'), std::string::npos) << c.what;
        EXPECT_EQ(gfx::CheckCompiledEffect(d), c.refusal) << c.what;
    }

    // Every list's count is held to the bytes left, each item taking at least
    // the bytes of its emptiest form: a count one more than the bytes could
    // hold is refused before its list is made, and one they could hold is not
    // refused for its count (whatever else is wrong with what follows).
    const struct {
        const char* list;
        std::function<void(D&)> grow; // by an item whose strings and lists are all empty
    } lists[] = {
        {"defines", [](D& d) { d.defines.emplace_back(); }},
        {"parameters", [](D& d) { d.parameters.emplace_back(); }},
        {"initial values", [](D& d) { d.parameters[0].defaults.emplace_back(); }},
        {"a parameter's annotations", [](D& d) { d.parameters[0].annotations.emplace_back(); }},
        {"a sampler's states", [&](D& d) { d.parameters[smp].samplerStates.emplace_back(); }},
        {"a sampler's assignments", [&](D& d) { d.parameters[smp].samplerAssignments.emplace_back(); }},
        {"struct types", [](D& d) { d.structTypes.emplace_back(); }},
        {"members", [](D& d) { d.structTypes[0].members.emplace_back(); }},
        {"techniques", [](D& d) { d.techniques.emplace_back(); }},
        {"passes", [](D& d) { // one that draws with a program written before
             const gfx::SharedProgram drawn = d.techniques[0].passes[0].program;
             d.techniques[0].passes.emplace_back().program = drawn;
         }},
        {"an assignment's words", [&](D& d) { fixed(d).assignments[0].words.emplace_back(); }},
        {"words of code", [&](D& d) { program(d).vertex.spirv.emplace_back(); }},
        {"uniforms", [&](D& d) { program(d).uniforms.emplace_back(); }},
        {"samplers", [&](D& d) { program(d).samplers.emplace_back(); }},
        {"vertex inputs", [&](D& d) { program(d).vertexInputs.emplace_back(); }},
        {"shaders to choose from", [](D& d) { d.techniques[0].passes[1].pixelChoice.elements.emplace_back(); }},
        {"programs of chosen shaders", [](D& d) {
             std::vector<gfx::SharedProgram>& programs = d.techniques[0].passes[1].choicePrograms;
             programs.push_back(programs[0]);
         }},
        {"structs", [](D& d) { d.structs.emplace_back(); }},
    };
    const std::vector<uint8_t> file = gfx::WriteCompiledEffect(original);
    for (const auto& c : lists) {
        D grown = original;
        c.grow(grown);
        const std::vector<uint8_t> longer = gfx::WriteCompiledEffect(grown);
        // The count is where the payloads first differ; the item is what the longer one adds.
        const size_t at = size_t(std::mismatch(file.begin() + 20, file.end(), longer.begin() + 20).first - file.begin());
        const size_t item = longer.size() - file.size(), most = (file.size() - at - 4) / item;
        for (const size_t count : {most, most + 1}) {
            // Zeros after it: no count of what follows claims anything.
            std::vector<uint8_t> claimed(file.begin(), file.begin() + std::ptrdiff_t(at));
            claimed.resize(file.size(), 0);
            PutWord(claimed, at, uint32_t(count));
            Reseal(claimed);
            EXPECT_EQ(Refusal(claimed) == "a count runs past the end of the file", count > most)
                << c.list << ": " << count << " of " << item << " bytes";
        }
    }
}

// What a file keeps to evaluate at every begin of a pass, all together, may
// take no more steps of work than the compiler's budget gives a text of its
// bytes: a round past that and the file is refused in one line naming the
// bound. The work is counted from the programs as they are read, a sampler's
// once for each pass that names it however many of its states do.
TEST(CompiledEffect, ExpressionsAreHeldToTheWorkTheirBytesAllow)
{
    using D = gfx::EffectDescription;
    const D original = effect_test::Described(
        "float k = 1;\nsampler s = sampler_state { MipMapLodBias = (k); };\n"
        "float4 PA() : COLOR0 { return k; }\nPixelShader ps[2] = { compile ps_2_0 PA(), compile ps_2_0 PA() };\n"
        "technique t { pass p { FogDensity = (k); PointSize = (k); Sampler[0] = (s); Sampler[1] = (s); }\n"
        "            pass q { PixelShader = (ps[k]); Sampler[0] = (s); } }\n");
    ASSERT_FALSE(original.techniques.empty());
    // The expressions it keeps: a sampler's state, two of a pass, the index of a chosen shader.
    const auto kept = [](D& d) {
        std::vector<gfx::EffectPass>& passes = d.techniques[0].passes;
        return std::array{&d.parameters[1].samplerAssignments[0].expression, &passes[0].assignments[0].expression,
                          &passes[0].assignments[1].expression, &passes[1].pixelChoice.index};
    };
    const struct {
        const char* what;
        std::vector<size_t> costly; // which of them read a local of `elements` float4x4s `rounds` times
        uint32_t rounds, elements;
        bool read;
    } cases[] = {
        {"a pass's state, as many rounds as the bound takes", {1}, 14, 4096, true},
        {"a round more", {1}, 15, 4096, false},
        {"a sampler's state, as many rounds as the bound takes counted twice", {0}, 6, 4096, true},
        {"a round more", {0}, 7, 4096, false},
        {"the index of a chosen shader", {3}, 15, 4096, false},
        {"one of four that together go past it", {2}, 4, 4096, true},
        {"the four", {0, 1, 2, 3}, 4, 4096, false},
        {"a file of 32 KB", {1}, 1820, 65536, false},
    };
    for (const auto& c : cases) {
        D d = original;
        for (size_t k : c.costly)
            *kept(d)[k] = fxtest::CostlyExpression(0, c.rounds, c.elements);
        uint64_t work = 0, bytes = 0;
        for (const std::vector<uint8_t>* expression : kept(d)) {
            gfx::Expression program;
            size_t offset = 0;
            std::string why;
            ASSERT_TRUE(gfx::Expression::Read(expression->data(), expression->size(), offset, program, why)) << why;
            work += program.Work() * (expression == kept(d)[0] ? 2 : 1); // the sampler's, for each pass naming it
            bytes += expression->size();
        }
        EXPECT_EQ(Refusal(d), c.read ? "" : "the effect's expressions would take " + std::to_string(work) +
                                                " steps of work as its passes begin, over the bound of " +
                                                std::to_string(gfx::ExpressionBudget::ForText(bytes).limit) +
                                                " that their " + std::to_string(bytes) + " bytes allow")
            << c.what;
    }
    // The compiler holds what it writes to the same, whatever budget a long text gives it.
    std::string pad;
    for (int i = 0; i < 8192; ++i)
        pad += "float p" + std::to_string(10000 + i) + ";";
    for (const std::string kept : {"technique t { pass p { FogDensity = ((float4x4[65536])k)[0][0][0]; } }\n",
                                   // a sampler only a program reads
                                   "sampler s = sampler_state { MipMapLodBias = ((float4x4[65536])k)[0][0][0]; };\n"
                                   "float4 P(float2 t : TEXCOORD0) : COLOR0 { return tex2D(s, t); }\n"
                                   "technique t { pass p { PixelShader = compile ps_2_0 P(); } }\n"})
        EXPECT_NE(effect_test::CompileMessages(pad + "\nfloat k = 1;\n" + kept)
                      .find("s.fx(1,1): error X3000: the effect's expressions would take "),
                  std::string::npos)
            << kept;
}

TEST(CompiledEffect, SamplersBoundByRegisterAreListedAsTheCompilerListsThem)
{
    const gfx::EffectDescription d = effect_test::Described(
        "sampler a[2] : register(s3);\nsampler b : register(s1);\n"
        "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(a[1], uv) + tex2D(b, uv); }\n"
        "technique t { pass p { PixelShader = compile ps_2_0 PS(); } }\n");
    const std::vector<uint8_t> file = gfx::WriteCompiledEffect(d);
    gfx::EffectDescription out;
    std::string error;
    ASSERT_TRUE(gfx::ReadCompiledEffect(file.data(), file.size(), out, error)) << error;
    EXPECT_EQ(out, d);
    // The list ends the file: a count, then each sampler's number and register.
    auto withList = [&](const std::vector<uint32_t>& list) {
        platform::ByteWriter out;
        out.Bytes(file.data(), file.size() - 4 * 5);
        for (uint32_t word : list)
            out.U32(word);
        std::vector<uint8_t> changed = out.Take();
        PutWord(changed, 12, static_cast<uint32_t>(changed.size() - 20));
        Reseal(changed);
        return Refusal(changed);
    };
    EXPECT_EQ(withList({2, 0, 3, 1, 1}), "");
    EXPECT_EQ(withList({0}), "an empty list of samplers bound by register");
    EXPECT_EQ(withList({2, 1, 1, 0, 3}), "the samplers bound by register are not in the order of the parameters");
    EXPECT_EQ(withList({2, 0, 3, 0, 1}), "the samplers bound by register are not in the order of the parameters");
    EXPECT_EQ(withList({1, 0, 16}), "a sampler register names no sampler or is out of range");
    // An array's elements take the units after its register, as far as s15.
    EXPECT_EQ(withList({2, 0, 14, 1, 1}), "");
    EXPECT_EQ(withList({2, 0, 15, 1, 1}), "a sampler register names no sampler or is out of range");
}

} // namespace
