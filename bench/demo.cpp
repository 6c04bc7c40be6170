// The demonstration on the recording device, in a folder like the run folder
// (its data and a warm compiled-effect cache): from building the object to its
// first presented frame (the bake, the scene and texture loads, the effects
// from the cache, every target, pass and post pass), and one frame of the
// running demonstration (input, light rig, eleven passes, present).
#include <benchmark/benchmark.h>

#include "bench/demo_world.h"

namespace {

using namespace demo_bench;

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
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    demo.reset();
    if (!world.boxes.Shown().empty())
        state.SkipWithError("a frame showed an error box");
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);

} // namespace
