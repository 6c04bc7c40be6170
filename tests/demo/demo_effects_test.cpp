// The demonstration's effects, data/*.fx: each compiles with the effect
// compiler program the way the cache runs it (every pass's shaders through
// the HLSL front end), in every define variant the system asks for; and each
// offers the techniques its passes draw with and takes the parameters the
// start-up and the frame set, of the types they are set with.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "testing/test_files.h"

namespace {

namespace fs = std::filesystem;
using gfx::EffectParameterType;

struct Parameter {
    std::string name;
    EffectParameterType type;
    uint8_t rows = 0;
    uint8_t columns = 0;
    uint32_t arraySize = 0;
};

constexpr auto kFloat = EffectParameterType::Float;
constexpr auto kTexture = EffectParameterType::Texture;

Parameter Scalar(const char* name) { return {name, kFloat, 1, 1}; }
Parameter Vector(const char* name, uint32_t count = 0) { return {name, kFloat, 1, 4, count}; }
Parameter Matrix(const char* name, uint32_t count = 0) { return {name, kFloat, 4, 4, count}; }
Parameter Texture(const char* name) { return {name, kTexture}; }

struct EffectFile {
    std::string file;
    std::vector<std::string> techniques;
    std::vector<Parameter> parameters;
};

// Test names show the file, not the bytes of the record.
void PrintTo(const EffectFile& effect, std::ostream* out)
{
    *out << effect.file;
}

// What the start-up, the frame and the renderer set on each effect.
const std::vector<EffectFile>& DemoEffectFiles()
{
    static const std::vector<EffectFile> effects = {
        {"shadowDemo.fx",
         {"diff", "depth", "depthSelf", "drawShadow"},
         {Vector("shCoeffs", 16), Scalar("atlasRes"), Texture("shadowAtlas"), Texture("shadowAtlasLinear"),
          Texture("shadowAtlasSAT"), Texture("noisemap"), {"jittermap", EffectParameterType::Texture3D},
          Texture("PRTn"), Texture("PRTp"), Vector("lht"), Texture("shadowSelf"), Scalar("objectID"),
          Matrix("lightMatrix", 4), Matrix("lightMatrixSelf"), Vector("casterRadius", 4), Scalar("lightSize"),
          Matrix("MatWorldViewProj"), Matrix("MatWorld"), Vector("PosCam"), Vector("matColor"),
          Vector("matSpecular"), Vector("FogColor"), Scalar("fogMult"), Scalar("exposure")}},
        {"shadowSafeGrid.fx", {"diff"}, {}},
        {"doSAT.fx",
         {"hor", "ver"},
         {Scalar("passID"), Scalar("atlasRes"), Texture("temptex"), Matrix("MatWorldViewProj")}},
        {"blurQuad_diff.fx", {"bilaterial"}, {Texture("diffuse"), Matrix("MatWorldViewProj")}},
        {"genSAT.fx",
         {"ver"},
         {Texture("diffuse"), Vector("pixelSizeX"), Vector("pixelSizeY"), Matrix("MatWorldViewProj")}},
        {"deSAT.fx", {"test"}, {Texture("temptex"), Matrix("MatWorldViewProj")}},
        {"post_diff.fx",
         {"preFXAA", "postFXAA"},
         {Vector("rcpFrame"), Vector("rcpFrameOpt"), Scalar("screenWidth"), Scalar("screenHeight"),
          Texture("temptex"), Matrix("MatWorldViewProj")}},
    };
    return effects;
}

// The variants: none, the renderer's HDR define, the weather's fog define, both.
const std::vector<std::vector<std::string>>& Variants()
{
    static const std::vector<std::vector<std::string>> variants = {
        {}, {"USE_HDR"}, {"FOGAFFECTSALPHA"}, {"FOGAFFECTSALPHA", "USE_HDR"}};
    return variants;
}

fs::path DataDir() { return fs::path(ZANDREL_SOURCE_DIR) / "data"; }

std::string Source(const std::string& file) { return zandrel_test::ReadFile(DataDir() / file); }

bool Compile(const std::string& file, const std::vector<std::string>& defines, gfx::EffectDescription& out,
             std::string& messages)
{
    std::vector<gfx::EffectMacro> macros;
    for (const std::string& name : defines)
        macros.push_back({name, "\n"});
    return gfx::CompileEffectSource(Source(file), file, macros, nullptr, out, messages);
}

// Runs a shell command; its exit status, or -1 when it did not end normally.
int Shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DemoEffects : public ::testing::TestWithParam<EffectFile> {
protected:
    zandrel_test::TempDir scratch_{"zandrel-demo-effects"};
};

} // namespace

TEST_P(DemoEffects, OffersTheTechniquesAndParametersItIsDrawnWith)
{
    const EffectFile& wanted = GetParam();
    gfx::EffectDescription effect;
    std::string messages;
    ASSERT_TRUE(Compile(wanted.file, {}, effect, messages)) << messages;
    for (const std::string& name : wanted.techniques) {
        bool found = false;
        for (const gfx::EffectTechnique& technique : effect.techniques)
            if (technique.name == name) {
                found = true;
                ASSERT_EQ(technique.passes.size(), 1u) << name;
                EXPECT_EQ(technique.passes[0].vertexShader.profile, "vs_3_0") << name;
                EXPECT_EQ(technique.passes[0].pixelShader.profile, "ps_3_0") << name;
                // Entry points take no literal arguments: the shaders compile as written.
                EXPECT_TRUE(technique.passes[0].vertexShader.arguments.empty()) << name;
                EXPECT_TRUE(technique.passes[0].pixelShader.arguments.empty()) << name;
                // Passes set no device states: the renderer's state cache owns them.
                EXPECT_TRUE(technique.passes[0].states.empty()) << name;
            }
        EXPECT_TRUE(found) << "technique " << name;
    }
    for (const Parameter& p : wanted.parameters) {
        SCOPED_TRACE(p.name);
        const gfx::EffectParameter* found = nullptr;
        for (const gfx::EffectParameter& q : effect.parameters)
            if (q.name == p.name)
                found = &q;
        ASSERT_NE(found, nullptr);
        if (p.type == kTexture) {
            EXPECT_TRUE(gfx::IsTextureType(found->type));
            continue;
        }
        EXPECT_EQ(found->type, p.type);
        EXPECT_EQ(found->rows, p.rows);
        EXPECT_EQ(found->columns, p.columns);
        EXPECT_EQ(found->arraySize, p.arraySize);
    }
    // Every texture is read through a sampler.
    for (const gfx::EffectParameter& q : effect.parameters) {
        if (!gfx::IsTextureType(q.type))
            continue;
        bool sampled = false;
        for (const gfx::EffectParameter& s : effect.parameters)
            sampled = sampled || s.samplerTexture == q.name;
        EXPECT_TRUE(sampled) << q.name;
    }
}

TEST_P(DemoEffects, CompilesWithTheEffectCompilerInEveryVariant)
{
    const EffectFile& wanted = GetParam();
    fs::copy_file(DataDir() / wanted.file, scratch_.Dir() / wanted.file);
    const fs::path compiler = fs::path(ZANDREL_RUN_DIR) / "tools/fxc.exe";
    for (const std::vector<std::string>& defines : Variants()) {
        std::string defineText;
        for (const std::string& name : defines)
            defineText += " /D " + name + "=1";
        SCOPED_TRACE(defineText);
        const fs::path output = scratch_.Dir() / "compiled.fxo";
        fs::remove(output);
        const std::string log = (scratch_.Dir() / "fxc.log").string();
        const int status = Shell("cd '" + scratch_.Dir().string() + "' && '" + compiler.string() +
                               "' /T fx_2_0 /O3 /Fo \"" + output.string() + "\"" + defineText + " " + wanted.file +
                               " > '" + log + "' 2>&1");
        EXPECT_EQ(status, 0) << zandrel_test::ReadFile(log);
        EXPECT_TRUE(fs::exists(output));
    }
}

INSTANTIATE_TEST_SUITE_P(Data, DemoEffects, ::testing::ValuesIn(DemoEffectFiles()),
                         [](const ::testing::TestParamInfo<EffectFile>& info) {
                             std::string name = info.param.file.substr(0, info.param.file.find('.'));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });
