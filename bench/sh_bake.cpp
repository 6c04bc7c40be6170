// The start-up's lighting bake: 10,000 sphere samples with their sixteen basis
// values, and the test light projected onto them (what the program does once
// before its first frame).
#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>

#include "demo/sh_bake.h"

namespace {

struct Discard : std::streambuf {
    int overflow(int c) override { return c; }
};

void BM_ShBake(benchmark::State& state)
{
    Discard nowhere;
    std::ostream out(&nowhere);
    for (auto _ : state)
        benchmark::DoNotOptimize(BakeShLighting(out));
}
BENCHMARK(BM_ShBake)->Unit(benchmark::kMillisecond);

} // namespace
