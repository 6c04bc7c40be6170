// The demonstration on the recording device, in a folder like the run folder
// (its data and a warm compiled-effect cache): from building the object to its
// first presented frame (the bake, the scene and texture loads, the effects
// from the cache, every target, pass and post pass), and one frame of the
// running demonstration (input, light rig, eleven passes, present).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "demo/shadow_demo.h"
#include "kernel/file_system.h"
#include "kernel/settings.h"
#include "platform/os/aligned_memory.h"
#include "platform/testing/message_box_script.h"
#include "render/d3d_context.h"
#include "render/render_device.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"
#include "tests/support/demo_data.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

// Standard output goes nowhere while one lives (the report comes after).
class Quiet {
public:
    Quiet() : saved_(std::cout.rdbuf(sink_.rdbuf())) {}
    ~Quiet() { std::cout.rdbuf(saved_); }
    // Drops what was printed, so the sink does not grow without end.
    void Forget() { sink_.str(""); }

private:
    std::ostringstream sink_;
    std::streambuf* saved_;
};

// The world the start-up runs in, made once: data, settings, file system,
// device and input.
struct World {
    World() : folder(zandrel_test::MakeTempDir("zandrel-bench-demo"))
    {
        Quiet quiet;
        zandrel_test::CopyDemoDataInto(folder);
        zandrel_test::WriteFile(folder / "settings.ini", "[Graphics]\nwidth=1280\nheight=720\nvsync=1\n"
                                                         "allowInstancing=1\ninstancingBufferSize=1024\n");
        fs::current_path(folder);
        GetSettings();
        GetFileSystem()->Mount(folder.string(), "");
        GetD3DContext()->CreateD3D();
        GetRenderer()->CopyGraphicsSettings(GetSettings());
        made = GetD3DContext()->CreateDevice();
        GetDirectInput()->InitInput(nullptr, nullptr);
    }
    ~World()
    {
        Quiet quiet;
        DestroyControls();
        GetDirectInput()->ReleaseInput();
        DestroyD3DContext();
        DestroyFileSystem();
        ReleaseSettings();
        fs::remove_all(folder);
    }

    platform::testing::ScriptedMessageBoxes boxes;
    fs::path folder;
    bool made = false;
};

World& TheWorld()
{
    static World world;
    return world;
}

// Aligned as the start-up allocates it.
struct DemoDeleter {
    void operator()(ShadowDemo* demo) const
    {
        demo->~ShadowDemo();
        platform::os::AlignedFree(demo);
    }
};
using DemoPointer = std::unique_ptr<ShadowDemo, DemoDeleter>;

DemoPointer MakeDemo()
{
    void* memory = platform::os::AlignedAlloc(sizeof(ShadowDemo), alignof(ShadowDemo));
    return DemoPointer(new (memory) ShadowDemo);
}

void BM_StartUpToFirstFrame(benchmark::State& state)
{
    World& world = TheWorld();
    if (!world.made) {
        state.SkipWithError("no device");
        return;
    }
    Quiet quiet;
    for (auto _ : state) {
        DemoPointer demo = MakeDemo();
        demo->InitDemo();
        benchmark::DoNotOptimize(demo->DemoFrame());
        state.PauseTiming();
        demo.reset();
        quiet.Forget();
        state.ResumeTiming();
    }
    if (!world.boxes.Shown().empty())
        state.SkipWithError("the start-up showed an error box");
}
BENCHMARK(BM_StartUpToFirstFrame)->Unit(benchmark::kMillisecond);

void BM_Frame(benchmark::State& state)
{
    World& world = TheWorld();
    if (!world.made) {
        state.SkipWithError("no device");
        return;
    }
    Quiet quiet;
    DemoPointer demo = MakeDemo();
    demo->InitDemo();
    demo->DemoFrame();
    for (auto _ : state)
        benchmark::DoNotOptimize(demo->DemoFrame());
    demo.reset();
    if (!world.boxes.Shown().empty())
        state.SkipWithError("a frame showed an error box");
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);

} // namespace
