// The compiled-effect cache with a 500-line effect: compiling it the way a
// missing cache file is made (the compiler program run in the working folder,
// then the effect made from its output), beside the same compile done in this
// process (source read, compiled, file written, effect made from it), and
// loading it from the cache (the compiled file read through the file system
// and the effect made from it).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>
#include <string>

#include "bench/five_hundred_line_effect.h"
#include "kernel/file_system.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/os/process.h"
#include "render/effects/effect_from_memory.h"
#include "render/effects/effect_names.h"

namespace {

namespace fs = std::filesystem;

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

// What the compiler program does, without starting it.
bool CompileHere(const fs::path& dir)
{
    std::ifstream in(dir / "bench.fx", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    gfx::EffectDescription description;
    std::string messages;
    if (!gfx::CompileEffectSource(text, "bench.fx", {{"USE_HDR", "1"}}, {}, description, messages))
        return false;
    const std::vector<uint8_t> bytes = gfx::WriteCompiledEffect(description);
    std::ofstream out(dir / "compiledshaders" / "bench.fxo", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void BM_CompileHereIntoTheCache(benchmark::State& state)
{
    Folder& folder = TheFolder();
    bool ok = true;
    for (auto _ : state) {
        fs::remove(folder.dir / "compiledshaders" / "bench.fxo");
        ok = CompileHere(folder.dir) && LoadFromCache() && ok;
    }
    if (!ok)
        state.SkipWithError("the effect did not compile");
}
BENCHMARK(BM_CompileHereIntoTheCache)->Unit(benchmark::kMillisecond)->Iterations(200);

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
BENCHMARK(BM_LoadFromTheCache)->Unit(benchmark::kMicrosecond);

} // namespace
