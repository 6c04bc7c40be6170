// The effect reader's time for many declarations of one kind: parameters,
// techniques, passes, functions, annotations, samplers with their textures,
// structs, #line markers naming files, and constants computed from constants.
// Each runs at N and 4N; the reader's
// processor time for 4N must stay within a few times N's (every name is found
// by hashing, none by a walk through the ones before it). N is large enough
// that N's tokens and tables already outgrow the processor's caches, so that
// 4N against N weighs the reader's work and not where its memory lies; the
// median of three runs stands against the other work of a busy machine. Then
// the whole compile of N and 4N parameters in front of one real pass, whose
// shader compiler runs in a child process: that one is timed by the clock.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>

#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/parser/effect_parser.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"

namespace {

constexpr int kN = 40000;

// The heap as fxc.exe sets it: memory freed is kept for the next use, not
// handed back to the system and asked for again page by page.
const bool kHeapAsTheCompilerSetsIt = [] {
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    return true;
}();

const char* const kShaders = "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                             "float4 PS() : COLOR { return 1; }\n";

std::string Effect(const std::string& kind, int n)
{
    std::string out;
    auto each = [&](auto line) {
        for (int i = 0; i < n; ++i)
            out += line(std::to_string(i));
    };
    if (kind == "parameters") {
        each([](const std::string& i) { return "float4 p" + i + " : COLOR" + " = float4(1, 2, 3, " + i + ");\n"; });
    } else if (kind == "techniques") {
        out = kShaders;
        each([](const std::string& i) { return "technique t" + i + " { pass { CullMode = None; } }\n"; });
    } else if (kind == "passes") {
        out = std::string(kShaders) + "technique t {\n";
        each([](const std::string& i) {
            return "pass p" + i + " { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n";
        });
        out += "}\n";
    } else if (kind == "functions") {
        each([](const std::string& i) { return "float f" + i + "(float x) { return x * " + i + "; }\n"; });
    } else if (kind == "annotations") {
        out = "float x <\n";
        each([](const std::string& i) { return "float a" + i + " = " + i + "; string s" + i + " = \"s\";\n"; });
        out += "> = 1;\n";
    } else if (kind == "samplers") {
        each([](const std::string& i) {
            return "texture t" + i + ";\nsampler2D s" + i + " = sampler_state { Texture = <t" + i +
                   ">; MinFilter = Linear; };\n";
        });
    } else if (kind == "structs") {
        each([](const std::string& i) { return "struct S" + i + " { float4 a; };\nS" + i + " v" + i + ";\n"; });
    } else if (kind == "constants") {
        out = "static const float c0 = 1;\n";
        each([](const std::string& i) {
            return "static const float c" + i + "x = c0 * 1.0001 + sin(c0) * rsqrt(2.0f) + float2(1, " + i +
                   ").y;\n";
        });
    } else if (kind == "files") {
        each([](const std::string& i) { return "#line 1 \"f" + i + ".fxh\"\nfloat p" + i + ";\n"; });
    }
    return out;
}

// The text the reader gets: the effect through the preprocessor, outside the timing.
std::string Preprocessed(const std::string& kind, int n)
{
    std::string text;
    std::string messages;
    gfx::PreprocessEffect(Effect(kind, n), "bench.fx", {}, {}, text, messages);
    return text;
}

void BM_Reader(benchmark::State& state, const std::string& kind)
{
    const int n = static_cast<int>(state.range(0));
    const std::string text = Preprocessed(kind, n);
    bool ok = false;
    std::string messages;
    for (auto _ : state) {
        gfx::EffectDescription d;
        messages.clear();
        ok = gfx::ParseEffect(text, "bench.fx", d, messages);
        benchmark::DoNotOptimize(d.parameters.data());
        // What the reader made is its caller's to unmake.
        state.PauseTiming();
        d = {};
        state.ResumeTiming();
    }
    if (!ok)
        state.SkipWithError(("the effect is refused: " + messages).c_str());
    state.counters["bytes"] = static_cast<double>(text.size());
}

#define READER_BENCHMARK(kind)                                                                    \
    BENCHMARK_CAPTURE(BM_Reader, kind, std::string(#kind))                                        \
        ->Arg(kN)                                                                                 \
        ->Arg(4 * kN)                                                                             \
        ->MinTime(1)                                                                              \
        ->Repetitions(3)                                                                          \
        ->ReportAggregatesOnly(true)                                                              \
        ->Unit(benchmark::kMillisecond)

READER_BENCHMARK(parameters);
READER_BENCHMARK(techniques);
READER_BENCHMARK(passes);
READER_BENCHMARK(functions);
READER_BENCHMARK(annotations);
READER_BENCHMARK(samplers);
READER_BENCHMARK(structs);
READER_BENCHMARK(files);
READER_BENCHMARK(constants);

// Effects of 64 KB whose constant expressions would multiply what they cost:
// calls that double at every level, statics that each name the one before
// twice, large arrays filled from one value or named again. Preprocessing
// and reading, to the refusal at the expressions' bound of work: its
// processor time and the memory it takes stay small.
std::string Filled(const std::string& head, const std::string& (*line)(int, std::string&))
{
    std::string out = head;
    std::string buffer;
    for (int i = 0; out.size() + line(i, buffer).size() < 64 * 1024; ++i)
        out += buffer;
    return out;
}

const std::string& Doubling(int i, std::string& out)
{
    return out = "float v" + std::to_string(i) + " = f15(" + std::to_string(i) + ");\n";
}
const std::string& Spliced(int i, std::string& out)
{
    const std::string a = std::to_string(i), b = std::to_string(i + 1);
    return out = "static float s" + b + " = s" + a + " + s" + a + " * 2;\n";
}
const std::string& Spread(int i, std::string& out)
{
    return out = "static const float4x4 a" + std::to_string(i) + "[65536] = " + std::to_string(i) + ";\n";
}
const std::string& Named(int i, std::string& out)
{
    return out = "static const float4x4 r" + std::to_string(i) + "[4096] = big;\n";
}

std::string BoundEffect(int kind)
{
    std::string functions = "float f0(float x) { return x; }\n";
    for (int i = 1; i < 16; ++i)
        functions += "float f" + std::to_string(i) + "(float x) { return f" + std::to_string(i - 1) + "(x) + f" +
                     std::to_string(i - 1) + "(x * 2); }\n";
    switch (kind) {
    case 0: return Filled(functions, Doubling);
    case 1: return Filled("float4 U;\nstatic float s0 = U.x;\n", Spliced);
    case 2: return Filled("", Spread);
    default: return Filled("static const float4x4 big[4096] = 1;\n", Named);
    }
}

void BM_ExpressionBound(benchmark::State& state)
{
    const std::string source = BoundEffect(static_cast<int>(state.range(0)));
    bool ok = true;
    std::string messages;
    for (auto _ : state) {
        std::string text;
        messages.clear();
        gfx::PreprocessEffect(source, "bench.fx", {}, {}, text, messages);
        gfx::EffectDescription d;
        ok = gfx::ParseEffect(text, "bench.fx", d, messages);
        benchmark::DoNotOptimize(d.parameters.data());
    }
    if (ok || messages.find("too large") == std::string::npos)
        state.SkipWithError(("not refused at the bound: " + messages).c_str());
    state.counters["bytes"] = static_cast<double>(source.size());
}
BENCHMARK(BM_ExpressionBound)->DenseRange(0, 3)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Preprocessing, reading, the shaders of one pass compiled (in a child
// process) and the parameter table, for N and 4N parameters.
void BM_CompileParametersAndOnePass(benchmark::State& state)
{
    const std::string source =
        Effect("parameters", static_cast<int>(state.range(0))) + kShaders +
        "technique t { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n";
    bool ok = false;
    std::string messages;
    for (auto _ : state) {
        gfx::EffectDescription d;
        messages.clear();
        ok = gfx::CompileEffectSource(source, "bench.fx", {}, {}, d, messages);
        benchmark::DoNotOptimize(d.parameters.data());
    }
    if (!ok)
        state.SkipWithError(("the effect is refused: " + messages).c_str());
}
BENCHMARK(BM_CompileParametersAndOnePass)->Arg(kN)->Arg(4 * kN)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
