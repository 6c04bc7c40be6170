// The work before an effect's shaders compile, for effects of at most 64 KB
// shaped to cost it most: preprocessing, reading, the preparation of the
// shader text and one shader's text made from it. One declaration of many
// modifiers and many names (made by macros, or written out), calls nested
// deep that lose texture arguments, casts to array types nested deep, a
// function that the text of many shaders reaches, and beside them a real
// effect. Processor time: each must stay far below 1.5 s.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/gfx/fx/parser/effect_parser.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"
#include "platform/gfx/fx/hlsl/source.h"

namespace {

std::string Repeated(const std::string& text, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

// 8^5 modifiers and 6 * 8^4 names made by a few lines of macros.
std::string DeclarationByMacros()
{
    return "#define S4 static static static static static static static static\n"
           "#define S3 S4 S4 S4 S4 S4 S4 S4 S4\n"
           "#define S2 S3 S3 S3 S3 S3 S3 S3 S3\n"
           "#define S1 S2 S2 S2 S2 S2 S2 S2 S2\n"
           "#define S0 S1 S1 S1 S1 S1 S1 S1 S1\n"
           "#define V4 a,a,a,a,a,a,a,a\n"
           "#define V3 V4,V4,V4,V4,V4,V4,V4,V4\n"
           "#define V2 V3,V3,V3,V3,V3,V3,V3,V3\n"
           "#define V1 V2,V2,V2,V2,V2,V2,V2,V2\n"
           "S0 float V1,V1,V1,V1,V1,V1;\n"
           "float4 PS() : COLOR { return a; }\n";
}

std::string DeclarationWrittenOut()
{
    std::string names = "a";
    while (names.size() < 32000)
        names += ",a";
    return Repeated("static ", 4000) + "float " + names + ";\nfloat4 PS() : COLOR { return a; }\n";
}

std::string TextureCallsNested()
{
    return "texture T;\nfloat4 f(texture t, float4 x) { return x; }\nfloat4 PS() : COLOR { return " +
           Repeated("f(T,", 12000) + "1" + Repeated(")", 12000) + "; }\n";
}

std::string CastsNested()
{
    return "float4 PS() : COLOR { float x = 1; int a[1] = " + Repeated("(int[1])", 7500) + "x; return a[0]; }\n";
}

// A shader's text made from a text of a thousand functions, reaching each.
std::string LibraryReached()
{
    std::string text = "float f0(float x) { return x; }\n";
    for (int i = 1; i < 1500; ++i)
        text += "float f" + std::to_string(i) + "(float x) { return f" + std::to_string(i - 1) + "(x) * 2; }\n";
    return text + "float4 PS() : COLOR { return f1499(1); }\n";
}

std::string Real()
{
    std::ifstream in(std::string(ZANDREL_RUN_DIR) + "/shadowDemo.fx", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void BM_BeforeTheShaders(benchmark::State& state, std::string (*make)())
{
    const std::string source = make();
    if (source.empty()) {
        state.SkipWithError("no effect (is the run folder filled?)");
        return;
    }
    size_t shaderBytes = 0;
    for (auto _ : state) {
        std::string text, messages;
        gfx::PreprocessEffect(source, "bench.fx", {{"USE_HDR", "1"}}, {}, text, messages);
        gfx::EffectDescription d;
        gfx::ParseEffect(text, "bench.fx", d, messages);
        const gfx::HlslSource hlsl = gfx::ExtractHlsl(text, "bench.fx");
        gfx::HlslSource::Scratch scratch;
        shaderBytes = hlsl.TextFor(hlsl.Reached({hlsl.IdOf("PS")}, scratch)).size();
        benchmark::DoNotOptimize(shaderBytes);
    }
    state.counters["bytes"] = static_cast<double>(source.size());
    state.counters["shader_bytes"] = static_cast<double>(shaderBytes);
}

#define TEXT_BENCHMARK(name, make) \
    BENCHMARK_CAPTURE(BM_BeforeTheShaders, name, make)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)

TEXT_BENCHMARK(declaration_by_macros, &DeclarationByMacros);
TEXT_BENCHMARK(declaration_written_out, &DeclarationWrittenOut);
TEXT_BENCHMARK(texture_calls_nested, &TextureCallsNested);
TEXT_BENCHMARK(casts_nested, &CastsNested);
TEXT_BENCHMARK(library_reached, &LibraryReached);
TEXT_BENCHMARK(real_effect, &Real);

} // namespace
