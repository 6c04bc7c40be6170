// Effects through the compiled-effect cache with the real compiler: the base
// effect and its variants, their files and ids, and every failure path.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "kernel/error_stream.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/device/video_memory.h"
#include "render/effects/effect.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/effect_test_support.h"

namespace {

using effect_test::Compiler;
using effect_test::Contains;
using effect_test::EffectFolder;
using effect_test::Output;
using platform::testing::ScriptedMessageBoxes;

std::vector<uint32_t> VariantIds(Effect& effect)
{
    std::vector<uint32_t> ids;
    for (const auto& [id, object] : effect.GetPayload()->variants)
        ids.push_back(id);
    return ids;
}

TEST(EffectCache, NoDefinesCompileTheBaseFileOnceAndLoadItAfterwards)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    {
        Effect effect;
        Output out;
        EXPECT_TRUE(effect.LoadByName("particle.fx"));
        const std::string text = out.Text();
        EXPECT_TRUE(Contains(text, "Compiling shader particle...\n")) << text;
        EXPECT_TRUE(Contains(text, "Running " + folder.dir.string() + "/tools/fxc.exe with params  /T fx_2_0 /O3 /Fo \"" +
                                       folder.dir.string() + "/compiledshaders/particle.fxo\" particle.fx...\n"))
            << text;
        EXPECT_EQ(2u, effect.GetState());
        ASSERT_NE(nullptr, effect.CurrentEffect());
        EXPECT_TRUE(effect.CurrentEffect()->Defines().empty());
        EXPECT_EQ(std::vector<uint32_t>{0}, VariantIds(effect));
        EXPECT_EQ(0u, effect.GetPayload()->currentVariant);
        EXPECT_TRUE(folder.Cached("particle.fxo"));
        EXPECT_EQ(1u, folder.CachedCount());
    }
    Effect again;
    Output out;
    again.LoadByName("particle.fx");
    out.Text();
    EXPECT_EQ("", out.Text()); // straight from the cache
    EXPECT_NE(nullptr, again.CurrentEffect());
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectCache, DefinesSetBeforeLoadingMakeTheVariantCurrentWithThePartsPath)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Effect effect;
    for (const char* name : {"BILLBOARD", "WIND", "FADE", "LIGHTING"})
        effect.SetDefine(name, true);
    EXPECT_EQ(979423159u, effect.wantedVariant);
    Output out;
    effect.LoadByName("particle.fx");
    out.Text();
    const std::string text = out.Text();
    EXPECT_TRUE(Contains(text, "\"" + folder.dir.string() +
                                   "/compiledshaders/particle979423159.fxo\" /D BILLBOARD=1  /D FADE=1  /D LIGHTING=1 "
                                   " /D WIND=1  particle.fx...\n"))
        << text;
    EXPECT_TRUE(folder.Cached("particle.fxo"));
    EXPECT_TRUE(folder.Cached("particle979423159.fxo"));
    EXPECT_EQ((std::vector<uint32_t>{0, 979423159u}), VariantIds(effect));
    EXPECT_EQ(979423159u, effect.GetPayload()->currentVariant);
    ASSERT_NE(nullptr, effect.CurrentEffect());
    EXPECT_EQ((std::vector<std::string>{"BILLBOARD", "FADE", "LIGHTING", "WIND"}), effect.CurrentEffect()->Defines());
    EXPECT_NE(nullptr, effect.CurrentEffect()->FindTechnique("lit"));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectCache, TogglingADefineBackSwitchesBetweenLoadedVariantsWithoutCompiling)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Effect effect;
    effect.SetDefine("FADE", true);
    effect.SetDefine("BILLBOARD", true);
    {
        Output quiet;
        effect.LoadByName("particle.fx");
    }
    EXPECT_EQ(2025572579u, effect.GetPayload()->currentVariant);

    effect.SetDefine("FADE", false);
    EXPECT_EQ(RSHash("BILLBOARD"), effect.wantedVariant);
    {
        Output out;
        effect.LoadEffectVariant();
        EXPECT_TRUE(Contains(out.Text(), "Changed shader variant on BILLBOARD, but there is no such shader loaded - "
                                         "getting...\nCompiling shader particle...\n"))
            << out.Text();
    }
    EXPECT_EQ(RSHash("BILLBOARD"), effect.GetPayload()->currentVariant);
    EXPECT_EQ(nullptr, effect.CurrentEffect()->FindParameter("fadeTime"));

    effect.SetDefine("FADE", true);
    EXPECT_EQ(2025572579u, effect.wantedVariant);
    const size_t files = folder.CachedCount();
    Output out;
    effect.LoadEffectVariant();
    out.Text();
    EXPECT_EQ("", out.Text());
    EXPECT_EQ(files, folder.CachedCount());
    EXPECT_NE(nullptr, effect.CurrentEffect()->FindParameter("fadeTime"));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectCache, AnAllFalseMapLoadsVariantZeroFromItsOwnFile)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Effect effect;
    effect.SetDefine("FADE", false);
    Output out;
    effect.LoadByName("particle.fx");
    out.Text();
    EXPECT_TRUE(folder.Cached("particle.fxo"));
    EXPECT_TRUE(folder.Cached("particle0.fxo"));
    EXPECT_EQ(std::vector<uint32_t>{0}, VariantIds(effect));
    EXPECT_EQ(0u, effect.GetPayload()->currentVariant);
    ASSERT_NE(nullptr, effect.CurrentEffect());
    EXPECT_EQ(effect.GetPayload()->variants[0].get(), effect.CurrentEffect());
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectCache, ASecondCompileReloadsFromTheCacheAndReleasesTheReplacedVariant)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Effect effect;
    effect.SetDefine("WIND", true);
    {
        Output quiet;
        effect.LoadByName("particle.fx");
    }
    std::weak_ptr<gfx::RuntimeEffect> first = effect.GetPayload()->current;
    FileBuffer empty;
    Output out;
    effect.CompileVariant("particle", empty);
    out.Text();
    EXPECT_EQ("", out.Text());
    EXPECT_TRUE(first.expired());
    EXPECT_NE(nullptr, effect.CurrentEffect());
}

TEST(EffectCache, UnloadingReleasesEveryVariant)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    std::vector<std::weak_ptr<gfx::RuntimeEffect>> loaded;
    {
        Effect effect;
        effect.SetDefine("WIND", true);
        Output quiet;
        effect.LoadByName("particle.fx");
        effect.SetDefine("WIND", false);
        effect.SetDefine("FADE", true);
        effect.LoadEffectVariant();
        for (const auto& [id, object] : effect.GetPayload()->variants)
            loaded.push_back(object);
        ASSERT_EQ(3u, loaded.size());
    }
    for (const auto& object : loaded)
        EXPECT_TRUE(object.expired());
}

TEST(EffectCache, AMissingCacheFolderReportsEachFileAndCompilesInMemory)
{
    EffectFolder folder(Compiler::Real, /*cacheFolder=*/false);
    ScriptedMessageBoxes boxes;
    Effect effect;
    effect.SetDefine("LIGHTING", true);
    Output out;
    effect.LoadByName("particle.fx");
    out.Text();
    EXPECT_TRUE(Contains(out.Text(), "Unable to load compiled shader - compiling to RAM...\n"));
    ASSERT_EQ(2u, boxes.Shown().size());
    // The compiler could not write into the missing folder: it says why on its
    // console output, the box in one line.
    EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/particle.fxo\n"), boxes.Shown()[0].text);
    EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/particle" +
                           std::to_string(RSHash("LIGHTING")) + ".fxo\n"),
              boxes.Shown()[1].text);
    ASSERT_NE(nullptr, effect.CurrentEffect());
    EXPECT_EQ(std::vector<std::string>{"LIGHTING"}, effect.CurrentEffect()->Defines());
    EXPECT_EQ(2u, effect.GetState());
}

TEST(EffectCache, AMissingCompilerIsReportedAndTheSourceCompiledInMemory)
{
    EffectFolder folder(Compiler::Missing);
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("particle.fx");
    out.Text();
    ASSERT_EQ(2u, boxes.Shown().size());
    EXPECT_EQ(ErrorBoxText("Error creating process /tools/fxc.exe\n"), boxes.Shown()[0].text);
    EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/particle.fxo\n"), boxes.Shown()[1].text);
    EXPECT_NE(nullptr, effect.CurrentEffect());
}

TEST(EffectCache, ACompilerThatWritesNothingOrCrashesIsNamedAndTheSourceCompiledInMemory)
{
    struct Case {
        Compiler compiler;
        std::string cause; // the box's second line: only a compiler that did not end on its own has one
        std::string said; // on standard output
    } cases[] = {
        {Compiler::WritesNothing, "", ""},
        {Compiler::Crashes, "The effect compiler was ended by signal 11 (Segmentation fault) and wrote nothing.\n",
         "/tools/fxc.exe was ended by signal 11 (Segmentation fault).\n"},
    };
    for (const Case& c : cases) {
        EffectFolder folder(c.compiler);
        ScriptedMessageBoxes boxes;
        Effect effect;
        effect.SetDefine("FADE", true);
        Output out;
        effect.LoadByName("particle.fx");
        EXPECT_TRUE(Contains(out.Text(), "Unable to load compiled shader - compiling to RAM...\n"));
        EXPECT_TRUE(Contains(out.Text(), c.said)) << out.Text();
        ASSERT_EQ(2u, boxes.Shown().size());
        EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/particle.fxo\n" + c.cause),
                  boxes.Shown()[0].text);
        ASSERT_NE(nullptr, effect.CurrentEffect());
        EXPECT_NE(nullptr, effect.CurrentEffect()->FindParameter("fadeTime"));
        EXPECT_EQ(0u, folder.CachedCount());
    }
}

TEST(EffectCache, ARunFolderWithADoubleQuoteInItsPathStillGetsItsCompiledFiles)
{
    EffectFolder folder(Compiler::Real, true, "zandrel \"quoted\\\" effects");
    ScriptedMessageBoxes boxes;
    Effect effect;
    effect.SetDefine("FADE", true);
    Output out;
    effect.LoadByName("particle.fx");
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_TRUE(folder.Cached("particle.fxo"));
    EXPECT_TRUE(folder.Cached("particle" + std::to_string(RSHash("FADE")) + ".fxo"));
    ASSERT_NE(nullptr, effect.CurrentEffect());
    EXPECT_FALSE(Contains(out.Text(), "compiling to RAM"));
}

TEST(EffectCache, ASyntaxErrorShowsTheCompilersOneLineBoxThenTheInMemoryTwoLineBox)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("broken.fx");
    out.Text();
    EXPECT_TRUE(Contains(out.Text(), "broken.fx(3,1): error X3000: syntax error: unexpected token 'technique'"));
    ASSERT_EQ(2u, boxes.Shown().size());
    EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/broken.fxo\n"), boxes.Shown()[0].text);
    EXPECT_EQ(ErrorBoxText("Shader broken.fx compilation error!\n"
                           "broken.fx(3,1): error X3000: syntax error: unexpected token 'technique'\n\n\n"),
              boxes.Shown()[1].text);
    EXPECT_EQ(nullptr, effect.CurrentEffect());
    EXPECT_EQ(2u, effect.GetState());
    EXPECT_EQ(0u, folder.CachedCount());
}

TEST(EffectCache, ACorruptCompiledFileIsReportedAndTheSourceCompiledInstead)
{
    EffectFolder folder;
    folder.Write("compiledshaders/particle.fxo", "ZFXC\r\n\x1a\nthis is not an effect");
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("particle.fx");
    out.Text();
    EXPECT_FALSE(Contains(out.Text(), "Compiling shader"));
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_TRUE(Contains(boxes.Shown()[0].text, "Shader /compiledshaders/particle.fxo compilation error!\n"));
    // The file could not make the effect, so the source did.
    ASSERT_NE(nullptr, effect.CurrentEffect());
    EXPECT_NE(nullptr, effect.CurrentEffect()->FindTechnique("diff"));
}

TEST(EffectCache, ACompiledFileOfTheOlderVersionIsRecompiledFromItsSource)
{
    EffectFolder folder;
    // The file the previous compiler wrote: sound, but without the shaders' code.
    std::string source;
    {
        std::ifstream in(folder.dir / "particle.fx", std::ios::binary);
        source.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    gfx::EffectDescription description;
    std::string messages;
    ASSERT_TRUE(gfx::CompileEffectSource(source, "particle.fx", {}, {}, description, messages)) << messages;
    std::vector<uint8_t> bytes = gfx::WriteCompiledEffect(description);
    bytes[8] = 1; // the version, outside the checksummed payload
    folder.Write("compiledshaders/particle.fxo", std::string(bytes.begin(), bytes.end()));
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("particle.fx");
    out.Text();
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_TRUE(Contains(boxes.Shown()[0].text, "Shader /compiledshaders/particle.fxo compilation error!\n"));
    ASSERT_NE(nullptr, effect.CurrentEffect());
    const gfx::EffectTechnique* diff = effect.CurrentEffect()->FindTechnique("diff");
    ASSERT_NE(nullptr, diff);
    EXPECT_FALSE(diff->passes[0].program->Empty()); // compiled again, shaders and all
}

TEST(EffectCache, ANameWithoutFxKeepsItsWholeBaseName)
{
    EffectFolder folder;
    folder.Write("water.hlsl", "float4 Tint;\ntechnique diff { pass p0 { } }\n");
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("water.hlsl");
    out.Text();
    EXPECT_TRUE(Contains(out.Text(), "Compiling shader water.hlsl...\n"));
    EXPECT_TRUE(Contains(out.Text(), "/compiledshaders/water.hlsl.fxo\" water.hlsl...\n")) << out.Text();
    EXPECT_TRUE(folder.Cached("water.hlsl.fxo"));
    EXPECT_NE(nullptr, effect.CurrentEffect());
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectCache, TheFrameRenderersHdrFlagAddsUseHdrToEveryEffect)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    const uint8_t hdr = 1;
    frameRendererHdr = &hdr;
    Effect plain;
    Effect particle;
    for (const char* name : {"BILLBOARD", "WIND", "FADE", "LIGHTING"})
        particle.SetDefine(name, true);
    {
        Output quiet;
        plain.LoadByName("particle.fx");
        folder.Write("other.fx", "");
    }
    frameRendererHdr = nullptr;
    EXPECT_EQ(2113204530u, plain.GetPayload()->currentVariant);
    EXPECT_EQ(std::vector<std::string>{"USE_HDR"}, plain.CurrentEffect()->Defines());
    // The particle effect shares the block of the same name: it keeps its own flags.
    frameRendererHdr = &hdr;
    FileBuffer empty;
    {
        Output quiet;
        particle.AttachById(plain.GetId());
        particle.CompileVariant("particle", empty);
    }
    frameRendererHdr = nullptr;
    EXPECT_EQ("BILLBOARDFADELIGHTINGUSE_HDRWIND", particle.BuildVariantKey());
    EXPECT_EQ(38225547u, particle.GetPayload()->currentVariant);
    EXPECT_TRUE(folder.Cached("particle38225547.fxo"));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(EffectCache, ANameThatWouldReshapeTheCommandLineNeverReachesTheCompiler)
{
    EffectFolder folder;
    folder.Write("odd\".fx", "float4 Tint;\ntechnique diff { pass p0 { } }\n");
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("odd\".fx");
    out.Text();
    EXPECT_FALSE(Contains(out.Text(), "Running "));
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/odd\".fxo\n"), boxes.Shown()[0].text);
    EXPECT_NE(nullptr, effect.CurrentEffect()); // from its source, in memory
}

TEST(EffectCache, TheEffectsCounterMovesByTheReadingsAroundCreationAndRelease)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    RenderDevice* renderer = GetRenderer();
    // Something in video memory, so a failed reading (counted as nothing) shows.
    gfx::VertexBuffer* held = nullptr;
    ASSERT_TRUE(renderer->Resources().CreateVertexBuffer(&held, 64, 16, 0));
    const int32_t busy = static_cast<int32_t>(renderer->Memory().GetBusyVideoMemory());
    ASSERT_GT(busy, 0);
    FileBuffer source;
    ASSERT_TRUE(GetFileSystem()->LoadFile(source, "particle.fx"));

    EffectObject effect;
    {
        platform::testing::GfxFailureInjection inject;
        inject.Fail("GetAvailableVidMem", gfx::kFail, 1, 1); // the reading after the creation
        ASSERT_TRUE(LoadShader(source, effect, nullptr));
    }
    EXPECT_EQ(-busy, renderer->Memory().VideoMemory(VideoMemoryKind::Effect));
    {
        platform::testing::GfxFailureInjection inject;
        inject.Fail("GetAvailableVidMem", gfx::kFail); // the reading before the release
        effect.reset();
    }
    EXPECT_EQ(0, renderer->Memory().VideoMemory(VideoMemoryKind::Effect));
    GetFileSystem()->ReleaseFile(source);
    ReleaseVideoResource(held);
    ASSERT_EQ(2u, boxes.Shown().size());
    EXPECT_EQ(ErrorBoxText("Failed to get busy video memory.\n"), boxes.Shown()[1].text);
}

TEST(EffectCache, AMissingSourceIsReportedAsNotFoundAndTheEffectStillCountsLoaded)
{
    EffectFolder folder;
    ScriptedMessageBoxes boxes;
    Effect effect;
    Output out;
    effect.LoadByName("nothing.fx");
    out.Text();
    std::vector<std::string> shown;
    for (const auto& box : boxes.Shown())
        shown.push_back(box.text);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(ErrorBoxText("Failed to load compiled shader /compiledshaders/nothing.fxo\n"), shown.front());
    // A file that is not there never names the buffer it was to be read into.
    EXPECT_EQ(ErrorBoxText("Shader  not found.\n"), shown.back());
    EXPECT_EQ(nullptr, effect.CurrentEffect());
    EXPECT_EQ(2u, effect.GetState());
    EXPECT_EQ(0u, folder.CachedCount());
}

} // namespace
