// Names of the compiled-effect cache: base names, variant keys and ids, define
// text, compiled paths and the compiler's parameter text.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/os/process.h"
#include "render/effects/effect_names.h"

namespace {

EffectDefineFlags Flags(std::initializer_list<std::pair<const char*, bool>> entries)
{
    EffectDefineFlags flags;
    for (const auto& [name, on] : entries)
        flags[name] = on;
    return flags;
}

TEST(EffectNames, BaseNameDropsOnlyARealFxExtension)
{
    EXPECT_EQ("particle", EffectBaseName("particle.fx"));
    EXPECT_EQ("fx/water", EffectBaseName("fx/water.fx"));
    // A name without ".fx" is not cut short.
    EXPECT_EQ("water.hlsl", EffectBaseName("water.hlsl"));
    EXPECT_EQ("ab", EffectBaseName("ab"));
    EXPECT_EQ("", EffectBaseName(""));
    EXPECT_EQ("", EffectBaseName(".fx"));
    EXPECT_EQ("a.fxo", EffectBaseName("a.fxo"));
}

TEST(EffectNames, VariantKeysAndIdsOfTheParticleEffect)
{
    const auto particle = Flags({{"WIND", true}, {"LIGHTING", true}, {"BILLBOARD", true}, {"FADE", true}});
    EXPECT_EQ("BILLBOARDFADELIGHTINGWIND", EffectVariantKey(particle));
    EXPECT_EQ(979423159u, EffectVariantId(EffectVariantKey(particle)));
    EXPECT_EQ("/compiledshaders/particle979423159.fxo",
              CompiledEffectPath("particle", EffectVariantExtension(979423159u)));

    auto hdr = particle;
    hdr["USE_HDR"] = true; // sorts before "WIND"
    EXPECT_EQ("BILLBOARDFADELIGHTINGUSE_HDRWIND", EffectVariantKey(hdr));
    EXPECT_EQ(38225547u, EffectVariantId(EffectVariantKey(hdr)));

    EXPECT_EQ(2113204530u, EffectVariantId(EffectVariantKey(Flags({{"USE_HDR", true}}))));
    // Whatever order the defines were set in.
    EXPECT_EQ("BILLBOARDFADE", EffectVariantKey(Flags({{"FADE", true}, {"BILLBOARD", true}})));
    EXPECT_EQ(2025572579u, EffectVariantId("BILLBOARDFADE"));
}

TEST(EffectNames, DisabledDefinesAreSkippedAndAnAllFalseMapIsTheEmptyKey)
{
    const auto flags = Flags({{"FADE", false}, {"BILLBOARD", true}, {"WIND", false}});
    EXPECT_EQ("BILLBOARD", EffectVariantKey(flags));
    EXPECT_EQ(std::vector<std::string>{"BILLBOARD"}, EnabledDefineNames(flags));

    const auto off = Flags({{"FADE", false}});
    EXPECT_EQ("", EffectVariantKey(off));
    EXPECT_EQ(0u, EffectVariantId(""));
    EXPECT_EQ("", EffectDefineText(off));
    EXPECT_EQ("0.fx", EffectVariantExtension(0));
    EXPECT_EQ("/compiledshaders/particle0.fxo", CompiledEffectPath("particle", EffectVariantExtension(0)));
}

TEST(EffectNames, BaseCompiledPathAndCompilerParameters)
{
    EXPECT_EQ("/compiledshaders/particle.fxo", CompiledEffectPath("particle"));
    EXPECT_EQ(" /T fx_2_0 /O3 /Fo \"X:\\demo/compiledshaders/particle.fxo\" particle.fx",
              EffectCompilerParameters("X:\\demo", CompiledEffectPath("particle"), "", "particle.fx"));

    const auto two = Flags({{"FADE", true}, {"BILLBOARD", true}});
    EXPECT_EQ(" /D BILLBOARD=1  /D FADE=1 ", EffectDefineText(two));
    const std::string params = EffectCompilerParameters(
        "/run", CompiledEffectPath("particle", EffectVariantExtension(2025572579u)), EffectDefineText(two),
        "particle.fx");
    EXPECT_EQ(" /T fx_2_0 /O3 /Fo \"/run/compiledshaders/particle2025572579.fxo\" /D BILLBOARD=1  /D FADE=1  "
              "particle.fx",
              params);
    // Split as the process runner splits it: the options, the output path
    // whole, and the source last.
    const std::vector<std::string> expected = {"/T",          "fx_2_0", "/O3",
                                               "/Fo", "/run/compiledshaders/particle2025572579.fxo",
                                               "/D", "BILLBOARD=1", "/D",     "FADE=1",
                                               "particle.fx"};
    auto args = platform::os::SplitCommandLine(params);
    args.erase(std::remove(args.begin(), args.end(), std::string()), args.end());
    EXPECT_EQ(expected, args);
}

TEST(EffectNames, ARunFolderWithQuotesOrBackslashesSplitsOffAsTheOneOutputPath)
{
    for (const std::string dir : {"/run \"a\"", "/run\\\"x", "/run\\\\\"y\\", "/\"", "C:\\dir\\"}) {
        const std::string path = dir + "/compiledshaders/particle.fxo";
        const auto args = platform::os::SplitCommandLine(
            EffectCompilerParameters(dir, "/compiledshaders/particle.fxo", " /D FADE=1 ", "particle.fx"));
        const std::vector<std::string> expected = {"/T", "fx_2_0", "/O3", "/Fo", path, "/D", "FADE=1", "particle.fx"};
        EXPECT_EQ(expected, args) << dir;
    }
}

TEST(EffectNames, TextThatWouldReshapeTheCommandLineIsRefused)
{
    EXPECT_TRUE(FitsEffectCommandLine("particle.fx"));
    EXPECT_TRUE(FitsEffectCommandLine("my effects/water.fx"));
    EXPECT_FALSE(FitsEffectCommandLine("x\" /Fo \"/etc/owned"));
    EXPECT_FALSE(FitsEffectCommandLine("a\nb"));
    EXPECT_FALSE(FitsEffectCommandLine(std::string("a\0b", 3)));
}

} // namespace
