// Effect compile and load times: a 500-line effect compiled from source (what the
// compiler program does once per variant), and created from its compiled bytes
// (what every later load from the cache does).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/gfx/compiled_effect.h"
#include "platform/gfx/effect.h"
#include "platform/gfx/effect_compiler.h"

namespace {

// About 500 lines in the style of the scene effects: parameters of every kind,
// samplers, helper functions, and techniques of several passes, with a define.
std::string FiveHundredLineEffect()
{
    std::string s = "#define LIGHTS 4\n#define SATURATE(x) clamp((x), 0.0, 1.0)\n";
    for (int i = 0; i < 24; ++i) {
        std::string n = std::to_string(i);
        s += "float4x4 matrix" + n + " : WORLD" + n + ";\n";
        s += "float4 vector" + n + " < string UIName = \"vector " + n + "\"; > = float4(" + n + ", 1, 2, 3);\n";
        s += "float scalar" + n + " = " + n + ".5;\n";
        s += "texture texture" + n + ";\n";
        s += "sampler2D sampler" + n + " = sampler_state\n{\n    Texture = <texture" + n +
             ">;\n    MinFilter = Linear;\n    AddressU = Wrap;\n};\n";
    }
    s += "float4 shCoeffs[16];\nfloat4x4 lightMatrix[LIGHTS];\n";
    for (int i = 0; i < 16; ++i) {
        std::string n = std::to_string(i);
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
        std::unique_ptr<gfx::Effect> effect;
        std::string errors;
        gfx::Effect::Create(compiled.data(), compiled.size(), {}, effect, errors);
        benchmark::DoNotOptimize(effect.get());
    }
    state.counters["bytes"] = static_cast<double>(compiled.size());
}
BENCHMARK(BM_LoadCompiled)->Unit(benchmark::kMicrosecond);

} // namespace
