// Effect compile and load times: a 500-line effect compiled from source (what the
// compiler program does once per variant), and created from its compiled bytes
// (what every later load from the cache does).
#include <benchmark/benchmark.h>

#include <string>

#include "bench/five_hundred_line_effect.h"
#include "platform/gfx/fx/compiled_effect.h"
#include "platform/gfx/fx/effect_compiler.h"
#include "platform/gfx/fx/runtime_effect.h"

namespace {

void BM_CompileFromSource(benchmark::State& state)
{
    std::string source = FiveHundredLineEffect();
    size_t lines = 0;
    for (char c : source)
        lines += c == '\n';
    bool ok = false;
    for (auto _ : state) {
        gfx::EffectDescription d;
        std::string messages;
        ok = gfx::CompileEffectSource(source, "bench.fx", {{"USE_HDR", "1"}}, {}, d, messages);
        std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(d);
        benchmark::DoNotOptimize(compiled.data());
    }
    if (!ok)
        state.SkipWithError("the benchmark effect does not compile");
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_CompileFromSource)->Unit(benchmark::kMicrosecond);

void BM_LoadCompiled(benchmark::State& state)
{
    gfx::EffectDescription d;
    std::string messages;
    gfx::CompileEffectSource(FiveHundredLineEffect(), "bench.fx", {{"USE_HDR", "1"}}, {}, d, messages);
    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(d);
    for (auto _ : state) {
        std::unique_ptr<gfx::RuntimeEffect> effect;
        std::string errors;
        gfx::RuntimeEffect::Create(compiled.data(), compiled.size(), {}, effect, errors);
        benchmark::DoNotOptimize(effect.get());
    }
    state.counters["bytes"] = static_cast<double>(compiled.size());
}
BENCHMARK(BM_LoadCompiled)->Unit(benchmark::kMicrosecond);

} // namespace
