#include "platform/gfx/fx/compiled_effect.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <zlib.h>

#include "platform/gfx/fx/effect_compiler.h"
#include "platform/window/close_signals.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

namespace {

gfx::EffectDescription Grammar(const std::vector<gfx::EffectMacro>& defines = {})
{
    gfx::EffectDescription d;
    std::string messages;
    EXPECT_TRUE(gfx::CompileEffectSource(effect_test::Fixture("grammar.fx"),
                                         effect_test::FixtureDir() + "grammar.fx", defines,
                                         effect_test::FileReader(), d, messages))
        << messages;
    return d;
}

// Puts a fresh checksum on a changed payload, so the reader's other checks are reached.
void Reseal(std::vector<uint8_t>& file)
{
    uLong crc = crc32(0L, file.data() + 20, static_cast<uInt>(file.size() - 20));
    for (int k = 0; k < 4; ++k)
        file[16 + size_t(k)] = static_cast<uint8_t>(crc >> (8 * k));
}

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
    gfx::EffectDescription d;
    std::string messages;
    EXPECT_TRUE(gfx::CompileEffectSource(
        "struct S { float a; int b[2]; };\nS sp[2] = {1, 2, 3, 4, 5, 6};\n"
        "float2 v : POS < string n = \"x\"; float m = 2; > = float2(1, 2);\n"
        "float4x4 m[2];\nstring s = \"t\";\ntexture t;\n"
        "sampler2D smp = sampler_state { Texture = <t>; AddressU = Wrap; };\n"
        "float4 F(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(smp, uv) * sp[1].a; }\n"
        "technique a < int k = 1; > { pass p < float q = 1; > { CullMode = None;"
        " PixelShader = compile ps_2_0 F(); } pass { } }\n",
        "small.fx", {{"D", "1"}}, {}, d, messages))
        << messages;
    return d;
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
    gfx::EffectDescription out;
    std::string error;

    // Version and size headers.
    for (uint8_t version : {uint8_t(3), uint8_t(5)}) {
        // Version 3 files lack the struct types of parameters and where each
        // uniform's values begin: refused, so their source is compiled again.
        std::vector<uint8_t> other = file;
        other[8] = version;
        EXPECT_FALSE(gfx::ReadCompiledEffect(other.data(), other.size(), out, error));
        EXPECT_EQ(error, "unsupported compiled effect version " + std::to_string(version));
    }
    std::vector<uint8_t> longer = file;
    longer.push_back(0);
    EXPECT_FALSE(gfx::ReadCompiledEffect(longer.data(), longer.size(), out, error));
    EXPECT_EQ(error, "the file size does not match its header");

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
    EXPECT_FALSE(gfx::ReadCompiledEffect(huge.data(), huge.size(), out, error));
    EXPECT_EQ(error, "a count runs past the end of the file");
}

TEST(CompiledEffect, DescriptionRulesAreChecked)
{
    gfx::EffectDescription d = Grammar();
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
        std::vector<uint8_t> file = gfx::WriteCompiledEffect(copy);
        gfx::EffectDescription out;
        std::string error;
        EXPECT_FALSE(gfx::ReadCompiledEffect(file.data(), file.size(), out, error));
        return error;
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
        EXPECT_EQ(broken([&](auto& c) { c.techniques[0].passes[0].program.vertexInputs.push_back(input); }),
                  "a vertex input has an unknown location or usage")
            << input.location << " " << input.usage << " " << input.usageIndex;
}

TEST(CompiledEffect, VertexInputsWithoutAFixedPlaceKeepTheirUsageAndIndex)
{
    gfx::EffectDescription d = Grammar(), back;
    // TEXCOORD2 at its fixed place; POSITION1, COLOR2 and SAMPLE15 at places of their own.
    d.techniques[0].passes[0].program.vertexInputs = {{6, 5, 2}, {1, 0, 1}, {0, 10, 2}, {15, 13, 15}};
    const std::vector<uint8_t> file = gfx::WriteCompiledEffect(d);
    std::string error;
    ASSERT_TRUE(gfx::ReadCompiledEffect(file.data(), file.size(), back, error)) << error;
    EXPECT_EQ(back, d);
}

} // namespace
