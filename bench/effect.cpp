// Effect compile and load times: a 500-line effect compiled from source (what the
// compiler program does once per variant), and created from its compiled bytes
// (what every later load from the cache does); and the begin of a pass that
// sets states on a recording device, its values constant or taken from
// parameters, and a commit inside it; a crafted file whose states would cost
// more than its bytes; parameters set by name, members of structs among them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/five_hundred_line_effect.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "testing/costly_expression.h"

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

// 32 render states and 8 sampler states, constant (arg 0) or each computed
// from a parameter (arg 1).
std::string StatesEffect(bool fromParameters)
{
    std::string source = "float k = 1;\ntechnique t { pass p {\n";
    const char* render[] = {"ZEnable", "ZWriteEnable", "AlphaTestEnable", "AlphaBlendEnable", "StencilEnable",
                            "FogEnable", "Lighting", "SRGBWriteEnable"};
    for (int i = 0; i < 32; ++i)
        source += std::string(render[i % 8]) + " = " + (fromParameters ? "k > 0.5" : "true") + ";\n";
    for (int i = 0; i < 8; ++i)
        source += "MinFilter[" + std::to_string(i) + "] = " + (fromParameters ? "k + 1" : "2") + ";\n";
    return source + "} }\n";
}

// A small windowed device of its own, released with it; null where none can be made.
struct BenchDevice {
    BenchDevice()
    {
        d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
        gfx::PresentParameters parameters;
        parameters.backBufferWidth = parameters.backBufferHeight = 16;
        parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
        parameters.backBufferCount = 1;
        parameters.swapEffect = gfx::kSwapDiscard;
        parameters.windowed = true;
        if (d3d)
            d3d->CreateDevice(0, gfx::kDeviceHal, nullptr, gfx::kCreateHardwareVertexProcessing, &parameters, &device);
    }
    ~BenchDevice()
    {
        gfx::SafeRelease(device);
        gfx::SafeRelease(d3d);
    }
    gfx::Direct3D* d3d = nullptr;
    gfx::Device* device = nullptr;
};

void BM_BeginPassSettingStates(benchmark::State& state)
{
    BenchDevice bench;
    if (!bench.device) {
        state.SkipWithError("no device");
        return;
    }
    const std::string source = StatesEffect(state.range(0) != 0);
    std::unique_ptr<gfx::RuntimeEffect> effect;
    std::string errors;
    if (gfx::RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors) != gfx::kEffectOk) {
        state.SkipWithError("the benchmark effect does not compile");
        return;
    }
    effect->SetDevice(bench.device);
    uint32_t passes = 0;
    for (auto _ : state) {
        effect->Begin(passes);
        effect->BeginPass(0);
        effect->CommitChanges();
        effect->End();
    }
    state.counters["states"] = 40;
}
BENCHMARK(BM_BeginPassSettingStates)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A compiled file of `arg` KB, its checksum sound, whose one state's
// expression fills a local of 65,536 float4x4s and reads it again and again:
// made from its bytes and, where it is taken, a pass begun. A file whose
// expressions would cost more than their bytes allow is refused as it is
// read, not paid for at every begin of the pass.
void BM_CraftedCostlyFile(benchmark::State& state)
{
    BenchDevice bench;
    if (!bench.device) {
        state.SkipWithError("no device");
        return;
    }
    const std::string source = "float k = 1;\ntechnique t { pass p { FogDensity = k; } }\n";
    gfx::EffectDescription d;
    std::string errors;
    gfx::CompileEffectSource(source, "bench.fx", {}, {}, d, errors);
    d.techniques[0].passes[0].assignments[0].expression =
        fxtest::CostlyExpression(0, static_cast<uint32_t>(state.range(0) * 1024 / 18));
    const std::vector<uint8_t> file = gfx::WriteCompiledEffect(d);
    bool taken = false;
    for (auto _ : state) {
        std::unique_ptr<gfx::RuntimeEffect> effect;
        taken = gfx::RuntimeEffect::Create(file.data(), file.size(), {}, effect, errors) == gfx::kEffectOk;
        if (taken) {
            effect->SetDevice(bench.device);
            uint32_t passes = 0;
            effect->Begin(passes);
            effect->BeginPass(0);
            effect->End();
        }
    }
    state.counters["bytes"] = static_cast<double>(file.size());
    state.counters["taken"] = taken ? 1 : 0;
}
BENCHMARK(BM_CraftedCostlyFile)->Arg(32)->Arg(194)->Unit(benchmark::kMillisecond);

// Parameters set by name, 64 calls an iteration: plain vectors (arg 0),
// members of elements of an array of structs by their paths (arg 1); and that
// array whole, as the platform packs it, once (arg 2).
void BM_SetParameters(benchmark::State& state)
{
    std::string source = "struct Light { float3 colour; float range; float4 direction; bool on; float4x3 frame; };\n"
                         "Light lights[16];\n";
    static const char* const kMembers[] = {"colour", "range", "direction", "on"};
    std::vector<std::string> names;
    for (int i = 0; i < 64; ++i) {
        source += "float4 plain" + std::to_string(i) + ";\n";
        names.push_back(state.range(0) == 0 ? "plain" + std::to_string(i)
                                            : "lights[" + std::to_string(i / 4) + "]." + kMembers[i % 4]);
    }
    std::unique_ptr<gfx::RuntimeEffect> effect;
    std::string errors;
    if (gfx::RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors) != gfx::kEffectOk) {
        state.SkipWithError("the benchmark effect does not compile");
        return;
    }
    const float value[4] = {1, 2, 3, 4};
    uint32_t bytes = 0;
    effect->ValueBytes("lights", bytes);
    const std::vector<uint8_t> whole(bytes, 0);
    for (auto _ : state) {
        if (state.range(0) == 2) {
            effect->SetValue("lights", whole.data(), bytes);
            continue;
        }
        for (const std::string& name : names)
            effect->SetVector(name, value);
    }
    state.counters["calls"] = state.range(0) == 2 ? 1 : 64;
}
BENCHMARK(BM_SetParameters)->Arg(0)->Arg(1)->Arg(2);

} // namespace
