// The demonstration's frames drawn for real (on llvmpipe where there is no
// GPU), in a folder like the run folder: the running demonstration's frame
// (input, light rig, every pass drawn, present without waiting for a
// display) at 1280 x 720 and, to show how it grows with the screen, at
// 640 x 360 and 1920 x 1080; beside it, on the same device, the anchor: a
// bare frame of clear and present. Each measured run draws 10 frames and then
// waits for the last one to be finished, so the GPU's work is counted, not
// only the calls.
//
// Counters per frame: wall_ms, and cpu_ms, the CPU time of every thread of
// the process (the rasterizer's threads included), the figure that holds on
// a busy machine. Repetitions print min, median and max of both.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

#include "bench/demo_world.h"
#include "platform/gfx/device/device.h"
#include "testing/gfx_device_hooks.h"

namespace {

using namespace demo_bench;

constexpr int kFramesPerRun = 10;

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::optional<World>& TheWorld()
{
    static std::optional<World> world;
    return world;
}

// One world at a time, at the size asked for: a new size makes it afresh.
World* WorldOfSize(uint32_t width, uint32_t height)
{
    std::optional<World>& world = TheWorld();
    static uint32_t madeWidth = 0, madeHeight = 0;
    if (!world || madeWidth != width || madeHeight != height) {
        world.reset();
        world.emplace(gfx::GfxMode::Raster, width, height);
        madeWidth = width;
        madeHeight = height;
        // The world goes before the kernel's singletons that the first one
        // made, which exit destroys in the reverse order of their making.
        static const bool releasedAtExit = std::atexit([] { TheWorld().reset(); }) == 0;
        (void)releasedAtExit;
    }
    return world->made && world->drawing ? &*world : nullptr;
}

// Waits for the GPU: the back buffer's bytes come back.
void Finish()
{
    if (gfx::Surface* back = GetRenderer()->Targets().BackBufferTarget().colour)
        benchmark::DoNotOptimize(platform::testing::DrawnSurfaceBytes(*back).data());
}

// Runs `frame` kFramesPerRun times per iteration and reports per-frame figures.
template <typename Frame>
void MeasureFrames(benchmark::State& state, Frame&& frame)
{
    frame(); // programs compiled and memory uploaded before measuring
    Finish();
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuFrom = ProcessCpuSeconds(), wallFrom = WallSeconds();
        for (int f = 0; f < kFramesPerRun; ++f)
            frame();
        Finish();
        cpu += ProcessCpuSeconds() - cpuFrom;
        wall += WallSeconds() - wallFrom;
    }
    const double frames = double(state.iterations()) * kFramesPerRun;
    state.counters["cpu_ms"] = 1e3 * cpu / frames;
    state.counters["wall_ms"] = 1e3 * wall / frames;
    state.counters["fps"] = frames / wall;
}

void BM_RasterFrames(benchmark::State& state)
{
    World* world = WorldOfSize(uint32_t(state.range(0)), uint32_t(state.range(1)));
    if (!world) {
        state.SkipWithError("no drawing device (no OpenGL 4.5 context)");
        return;
    }
    Quiet quiet;
    DemoPointer demo = MakeDemo();
    demo->InitDemo();
    MeasureFrames(state, [&] { benchmark::DoNotOptimize(demo->DemoFrame()); });
    demo.reset();
    if (!world->boxes.Shown().empty())
        state.SkipWithError("a frame showed an error box");
}

// The anchor: the back buffer cleared, the scene begun and ended, presented.
void BM_ClearAndPresent(benchmark::State& state)
{
    World* world = WorldOfSize(uint32_t(state.range(0)), uint32_t(state.range(1)));
    if (!world) {
        state.SkipWithError("no drawing device (no OpenGL 4.5 context)");
        return;
    }
    gfx::Device* device = GetRenderer()->Device();
    MeasureFrames(state, [&] {
        device->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF203040u, 1.0f, 0);
        device->BeginScene();
        device->EndScene();
        device->Present();
    });
}

double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double Most(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

void Sizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"w", "h"})->Unit(benchmark::kMillisecond)->UseRealTime();
    b->ComputeStatistics("min", Least)->ComputeStatistics("max", Most);
}

// The anchor first at each size, then the frame; the size changes least often.
BENCHMARK(BM_ClearAndPresent)->Apply(Sizes)->Args({1280, 720});
BENCHMARK(BM_RasterFrames)->Apply(Sizes)->Args({1280, 720});
BENCHMARK(BM_RasterFrames)->Apply(Sizes)->Args({640, 360});
BENCHMARK(BM_RasterFrames)->Apply(Sizes)->Args({1920, 1080});

} // namespace
