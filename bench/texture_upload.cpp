// A 2048 x 2048 DXT1 texture with its full mip chain, asked for by name and
// brought into video memory on each of its three roads: direct (read, decode
// and upload on the calling thread), tasks ("LoadFromHDD" on IOTHREAD, then
// "UploadTexToVRAM") and pool (the texel read, then "UploadTexPartToVRAM").
// The two thread roads include the render cycles their chains take. Beside
// them, files of one level given their whole chain by the loader.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/queue_registry.h"
#include "kernel/resource_tasks.h"
#include "kernel/settings.h"
#include "kernel/thread_map.h"
#include "platform/gfx/device/format.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "render/textures/texture_from_memory.h"
#include "render/textures/texture_pool.h"
#include "render/textures/texture_resource.h"
#include "testing/dds_writer.h"
#include "testing/engine_thread_run.h"
#include "testing/message_box_script.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kName = "bench2048.dds";

const platform::testing::DdsSpec kSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 2048, 2048, 1,
                                       gfx::FullMipLevels(2048, 2048)};

// A device as the start-up makes it, the file in a mounted folder, quiet output.
class Stage {
public:
    Stage()
    {
        folder_ = fs::temp_directory_path() / ("zandrel_bench_textures_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        saved_ = fs::current_path();
        fs::current_path(folder_);
        std::ofstream("settings.ini") << "[Graphics]\nwidth=320\nheight=200\n";
        const std::vector<uint8_t> file = platform::testing::WriteDds(kSpec);
        fileBytes = file.size();
        std::ofstream(kName, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        savedOut_ = std::cout.rdbuf(quiet_.rdbuf());
        GetD3DContext()->CreateD3D();
        RenderDevice* renderer = GetRenderer();
        GraphicsSettings graphics;
        graphics.width = 320;
        graphics.height = 200;
        renderer->SetGraphicsSettings(graphics);
        GetD3DContext()->CreateDevice();
        GetFileSystem()->Mount(folder_.string(), "");
    }
    ~Stage()
    {
        DestroyRenderThread();
        DestroyIOThread();
        DestroyD3DContext();
        DestroyFileSystem();
        std::cout.rdbuf(savedOut_);
        fs::current_path(saved_);
        fs::remove_all(folder_);
    }

    // Runs the engine threads until `frame` says the work is done.
    void RunThreads(const std::function<bool(int)>& frame)
    {
        zandrel_test::RunEngineThreads(
            [](RenderThread* render) {
                if (!zandrel_test::ModuleAttached(render, &GetRenderer()->Uploads()))
                    render->AddModule(&GetRenderer()->Uploads());
            },
            frame, std::chrono::hours(24));
    }

    static bool Idle() { return GetQueueRegistry()->ring.write == GetQueueRegistry()->ring.read; }

    size_t fileBytes = 0;

private:
    fs::path folder_;
    fs::path saved_;
    std::ostringstream quiet_;
    std::streambuf* savedOut_ = nullptr;
    platform::testing::ScriptedMessageBoxes boxes_;
};

void Finish(benchmark::State& state, const Stage& stage, bool loaded)
{
    if (!loaded)
        state.SkipWithError("the texture did not load");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stage.fileBytes));
}

void BM_TextureDirect(benchmark::State& state)
{
    Stage stage;
    bool loaded = true;
    for (auto _ : state) {
        TextureResource handle;
        handle.LoadByName(kName);
        loaded = loaded && handle.GetState() == 2;
        handle.ReleaseResource();
    }
    Finish(state, stage, loaded);
}
BENCHMARK(BM_TextureDirect)->Unit(benchmark::kMillisecond);

// Loads by name through the engine threads each iteration: the tasks road
// without a pool, the pool road with one.
void LoadOnThreads(benchmark::State& state, Stage& stage, TexturePool* pool)
{
    bool loaded = true;
    for (auto _ : state) {
        TextureResource handle;
        handle.texturePool = pool;
        stage.RunThreads([&](int round) {
            if (round == 1) {
                handle.LoadByName(kName);
                return false;
            }
            return handle.GetState() != 1 && Stage::Idle();
        });
        loaded = loaded && handle.GetState() == 2;
        handle.ReleaseResource();
    }
    Finish(state, stage, loaded);
}

void BM_TextureTasks(benchmark::State& state)
{
    Stage stage;
    LoadOnThreads(state, stage, nullptr);
}
BENCHMARK(BM_TextureTasks)->Unit(benchmark::kMillisecond);

void BM_TexturePool(benchmark::State& state)
{
    Stage stage;
    TexturePool pool;
    if (!BuildTexturePool(pool, 1, 2048, 2048, gfx::kFormatDXT1, static_cast<uint16_t>(kSpec.levels))) {
        state.SkipWithError("no pool");
        return;
    }
    LoadOnThreads(state, stage, &pool);
}
BENCHMARK(BM_TexturePool)->Unit(benchmark::kMillisecond);

// The decode and upload alone, without the file read: LoadTexture on bytes in memory.
void BM_TextureFromMemory(benchmark::State& state)
{
    Stage stage;
    const std::vector<uint8_t> file = platform::testing::WriteDds(kSpec);
    bool loaded = true;
    for (auto _ : state) {
        gfx::BaseTexture* texture = nullptr;
        loaded = loaded && gfx::Succeeded(CreateTextureFromFile(GetRenderer()->Device(), file.data(), file.size(), 0,
                                                                gfx::kPoolDefault, &texture));
        if (texture)
            texture->Release();
    }
    Finish(state, stage, loaded);
}
BENCHMARK(BM_TextureFromMemory)->Unit(benchmark::kMillisecond);

// A file of one level given its full chain by the loader, on bytes in memory:
// the levels' making (a box over every layout, DXT levels decoded, filtered
// and encoded again) and upload. 1024 x 1024 in A8R8G8B8, R5G6B5,
// A16B16G16R16F and DXT1, and a 64^3 L8 volume.
void BM_TextureLevelsMade(benchmark::State& state)
{
    const uint32_t formats[] = {gfx::kFormatA8R8G8B8, gfx::kFormatR5G6B5, gfx::kFormatA16B16G16R16F, gfx::kFormatDXT1,
                                gfx::kFormatL8};
    const uint32_t format = formats[state.range(0)];
    const bool volume = state.range(0) == 4;
    const platform::testing::DdsSpec spec{format, volume ? gfx::ImageKind::Volume : gfx::ImageKind::Texture2D,
                                          volume ? 64u : 1024u, volume ? 64u : 1024u, volume ? 64u : 1u, 1};
    Stage stage;
    const std::vector<uint8_t> file = platform::testing::WriteDds(spec);
    bool loaded = true;
    for (auto _ : state) {
        gfx::BaseTexture* texture = nullptr;
        loaded = loaded && gfx::Succeeded(CreateTextureFromFile(GetRenderer()->Device(), file.data(), file.size(),
                                                                volume ? texture_flags::kVolume : 0u,
                                                                gfx::kPoolDefault, &texture));
        if (texture)
            texture->Release();
    }
    if (!loaded)
        state.SkipWithError("the texture did not load");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_TextureLevelsMade)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

} // namespace
