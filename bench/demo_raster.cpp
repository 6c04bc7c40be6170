// The demonstration's frames drawn for real at 1280 x 720 (on llvmpipe where
// there is no GPU), in a folder like the run folder: frames per second of the
// running demonstration (input, light rig, every pass drawn, present without
// waiting for a display). Each measured run draws 10 frames and then waits for
// the last one to be finished, so the GPU's work is counted, not only the
// calls.
#include <benchmark/benchmark.h>

#include "bench/demo_world.h"
#include "platform/testing/gfx_device_hooks.h"

namespace {

using namespace demo_bench;

constexpr int kFramesPerRun = 10;

// Waits for the GPU: the back buffer's bytes come back.
void Finish()
{
    if (gfx::Surface* back = GetRenderer()->Targets().BackBufferTarget().colour)
        benchmark::DoNotOptimize(platform::testing::DrawnSurfaceBytes(*back).data());
}

void BM_RasterFrames(benchmark::State& state)
{
    World& world = TheWorld(gfx::GfxMode::Raster);
    if (!world.made || !world.drawing) {
        state.SkipWithError("no drawing device (no OpenGL 4.5 context)");
        return;
    }
    Quiet quiet;
    DemoPointer demo = MakeDemo();
    demo->InitDemo();
    demo->DemoFrame(); // programs compiled and memory uploaded before measuring
    Finish();
    for (auto _ : state) {
        for (int f = 0; f < kFramesPerRun; ++f)
            benchmark::DoNotOptimize(demo->DemoFrame());
        Finish();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()) * kFramesPerRun, benchmark::Counter::kIsRate);
    demo.reset();
    if (!world.boxes.Shown().empty())
        state.SkipWithError("a frame showed an error box");
}
BENCHMARK(BM_RasterFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
