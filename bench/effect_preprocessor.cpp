// Effect preprocessor times for the effects that cost it most: macros that copy,
// paste or stringize a large argument thousands of times, calls nested in calls,
// deep chains of macros, files that include others many times over, and beside
// them a 64 KB effect without macros and a real effect. The hostile ones are
// refused (accepted = 0): their time is what the refusal takes.
#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"

namespace {

struct Effect {
    std::string source;
    std::map<std::string, std::string> files;
};

std::string Repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// M18 expands to "abc" 2^18 times: 1 MiB.
std::string Doubling()
{
    std::string text = "#define M0 abc\n";
    for (int i = 1; i <= 18; ++i)
        text += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + " M" + std::to_string(i - 1) + "\n";
    return text;
}

// A macro that uses its parameter thousands of times, reached through another
// macro so that its argument is M18 expanded.
Effect Copies(const std::string& body)
{
    return {Doubling() + "#define COPIES(x) " + body + "\n#define CALL(y) COPIES(y)\nCALL(M18)\n", {}};
}

Effect ParameterRepeated() { return Copies(Repeated("x ", 3000)); }
Effect ParameterPasted() { return Copies(Repeated("x##", 1000) + "x"); }
Effect ParameterStringized() { return Copies(Repeated("#x ", 2000)); }

Effect CallsNested()
{
    return {Doubling() + "#define TWICE(x) x x\n" + Repeated("TWICE(", 100) + "M10" + Repeated(")", 100) + "\n", {}};
}

// 128 macros each naming the next, the first used 20,000 times.
Effect DeepChain()
{
    std::string text;
    for (int i = 0; i < 127; ++i)
        text += "#define A" + std::to_string(i) + " A" + std::to_string(i + 1) + "\n";
    return {text + "#define A127 x\n" + Repeated(Repeated("A0 ", 20) + "\n", 1000), {}};
}

// Conditions whose macros expand to 1 MiB each.
Effect ConditionsExpanded() { return {Doubling() + Repeated("#if M18 > 0\n#endif\n", 3000), {}}; }

Effect IncludedTwiceBySelf()
{
    const std::string text = "#include \"main.fx\"\n#include \"main.fx\"\n";
    return {text, {{"main.fx", text}}};
}

// Files that each include the next twice, 30 deep.
Effect IncludesFanningOut()
{
    Effect effect{"#include \"f0\"\n", {}};
    for (int i = 0; i < 30; ++i)
        effect.files["f" + std::to_string(i)] = Repeated("#include \"f" + std::to_string(i + 1) + "\"\n", 2);
    effect.files["f30"] = "float4 x = 1;\n";
    return effect;
}

// 3,000 inclusions of a file that includes an empty one 3,000 times.
Effect SmallIncludesMultiplied()
{
    return {Repeated("#include \"h\"\n", 3000), {{"h", Repeated("#include \"e\"\n", 3000)}, {"e", ""}}};
}

Effect Plain64K()
{
    std::string text;
    for (int i = 0; text.size() < 65536; ++i)
        text += "float4 value" + std::to_string(i) + " = float4(1.0, 2.0, 3.0, 4.0) * scale; // a comment\n";
    return {text, {}};
}

Effect Real()
{
    std::ifstream in(std::string(ZANDREL_RUN_DIR) + "/shadowDemo.fx", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return {text.str(), {}};
}

void BM_Preprocess(benchmark::State& state, Effect (*make)())
{
    const Effect effect = make();
    if (effect.source.empty()) {
        state.SkipWithError("no effect (is the run folder filled?)");
        return;
    }
    gfx::EffectFileReader reader = [&effect](const std::string& path, size_t limit, std::string& contents) {
        auto found = effect.files.find(path);
        if (found == effect.files.end())
            return std::string("no such file");
        contents = found->second.substr(0, limit);
        return std::string();
    };
    size_t bytes = effect.source.size();
    for (const auto& file : effect.files)
        bytes += file.second.size();
    bool accepted = false;
    for (auto _ : state) {
        std::string out, messages;
        accepted = gfx::PreprocessEffect(effect.source, "main.fx", {}, reader, out, messages);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["accepted"] = accepted ? 1 : 0;
}

BENCHMARK_CAPTURE(BM_Preprocess, parameter_repeated, &ParameterRepeated)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, parameter_pasted, &ParameterPasted)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, parameter_stringized, &ParameterStringized)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, calls_nested, &CallsNested)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, deep_chain, &DeepChain)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, conditions_expanded, &ConditionsExpanded)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, included_twice_by_self, &IncludedTwiceBySelf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, includes_fanning_out, &IncludesFanningOut)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, small_includes_multiplied, &SmallIncludesMultiplied)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, plain_64k, &Plain64K)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Preprocess, real_effect, &Real)->Unit(benchmark::kMillisecond);

} // namespace
