// The compiled-effect cache with a 500-line effect: compiling it the way a
// missing cache file is made (the compiler program run in the working folder,
// then the effect made from its output), and loading it from the cache (the
// compiled file read through the file system and the effect made from it).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/file_system.h"
#include "platform/os/process.h"
#include "render/effect_from_memory.h"
#include "render/effect_names.h"

namespace {

namespace fs = std::filesystem;

// About 500 lines in the style of the scene effects.
std::string FiveHundredLineEffect()
{
    std::string s = "#define LIGHTS 4\n#define SATURATE(x) clamp((x), 0.0, 1.0)\n";
    for (int i = 0; i < 24; ++i) {
        const std::string n = std::to_string(i);
        s += "float4x4 matrix" + n + " : WORLD" + n + ";\n";
        s += "float4 vector" + n + " < string UIName = \"vector " + n + "\"; > = float4(" + n + ", 1, 2, 3);\n";
        s += "float scalar" + n + " = " + n + ".5;\n";
        s += "texture texture" + n + ";\n";
        s += "sampler2D sampler" + n + " = sampler_state\n{\n    Texture = <texture" + n +
             ">;\n    MinFilter = Linear;\n    AddressU = Wrap;\n};\n";
    }
    s += "float4 shCoeffs[16];\nfloat4x4 lightMatrix[LIGHTS];\n";
    for (int i = 0; i < 16; ++i) {
        const std::string n = std::to_string(i);
        s += "float4 Shade" + n + "(float2 uv : TEXCOORD0, float3 normal : NORMAL) : COLOR0\n{\n";
        s += "    float4 c = tex2D(sampler" + n + ", uv) * vector" + n + ";\n";
        s += "#ifdef USE_HDR\n    c.rgb *= scalar" + n + ";\n#endif\n";
        s += "    for (int k = 0; k < LIGHTS; ++k) { c += mul(float4(normal, 0), lightMatrix[k]); }\n";
        s += "    return SATURATE(c);\n}\n";
    }
    for (int t = 0; t < 8; ++t) {
        s += "technique tech" + std::to_string(t) + "\n{\n";
        for (int p = 0; p < 2; ++p)
            s += "    pass p" + std::to_string(p) +
                 "\n    {\n        ZEnable = true;\n        CullMode = CCW;\n"
                 "        PixelShader = compile ps_2_0 Shade" +
                 std::to_string(t * 2 + p) + "();\n    }\n";
        s += "}\n";
    }
    return s;
}

// A working folder with the source and the cache folder, mounted as the root.
struct Folder {
    Folder()
    {
        char pattern[] = "/tmp/zandrel_effect_cache_XXXXXX";
        dir = mkdtemp(pattern);
        fs::create_directories(dir / "compiledshaders");
        std::ofstream(dir / "bench.fx", std::ios::binary) << FiveHundredLineEffect();
        // The file system reads the settings of the folder it starts in.
        fs::current_path(ZANDREL_RUN_DIR);
        GetFileSystem()->Mount(dir.string(), "");
    }
    ~Folder()
    {
        DestroyFileSystem();
        fs::remove_all(dir);
    }
    fs::path dir;
};

Folder& TheFolder()
{
    static Folder folder;
    return folder;
}

const std::string kCompiler = std::string(ZANDREL_RUN_DIR) + kEffectCompilerPath;

bool Compile(const fs::path& dir)
{
    const std::string params =
        EffectCompilerParameters(dir.string(), CompiledEffectPath("bench"), " /D USE_HDR=1 ", "bench.fx");
    return platform::os::RunProgram(kCompiler, params, dir.string()).exitCode == 0;
}

bool LoadFromCache()
{
    FileBuffer buffer;
    bool made = false;
    if (GetFileSystem()->LoadFile(buffer, CompiledEffectPath("bench"))) {
        EffectObject effect;
        int32_t result = 0;
        made = CreateEffectFromMemory(buffer.data, buffer.size, std::string(buffer.name.View()), nullptr, nullptr,
                                      effect, result);
    }
    GetFileSystem()->ReleaseFile(buffer);
    return made;
}

void BM_CompileIntoTheCache(benchmark::State& state)
{
    Folder& folder = TheFolder();
    bool ok = true;
    for (auto _ : state) {
        fs::remove(folder.dir / "compiledshaders" / "bench.fxo");
        ok = Compile(folder.dir) && LoadFromCache() && ok;
    }
    if (!ok)
        state.SkipWithError("the compiler did not make the effect");
}
BENCHMARK(BM_CompileIntoTheCache)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_LoadFromTheCache(benchmark::State& state)
{
    Folder& folder = TheFolder();
    if (!fs::exists(folder.dir / "compiledshaders" / "bench.fxo") && !Compile(folder.dir)) {
        state.SkipWithError("the compiler did not make the effect");
        return;
    }
    bool ok = true;
    for (auto _ : state)
        ok = LoadFromCache() && ok;
    if (!ok)
        state.SkipWithError("the cached effect did not load");
}
// Bounded: every file load currently keeps one 64-byte pool block, and the
// pool of 2048 runs out.
BENCHMARK(BM_LoadFromTheCache)->Unit(benchmark::kMicrosecond)->Iterations(1000);

} // namespace
