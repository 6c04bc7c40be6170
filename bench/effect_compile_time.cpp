// The processor time fxc.exe spends on the demonstration's effect,
// shadowDemo.fx, itself and the processes it starts together: this build's,
// and, where ZANDREL_BENCH_OTHER_FXC names another build's fxc.exe (today's,
// say), that one too, the two run in turns in each iteration so that the
// machine's load falls on both alike. Counters give each one's seconds an
// iteration and the ratio of this build's to the other's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/os/process.h"
#include "render/effects/effect_names.h"

namespace {

namespace fs = std::filesystem;

// The processor seconds of `fxc` compiling shadowDemo.fx into `out`; false
// where it fails.
bool Compile(const std::string& fxc, const fs::path& out, double& seconds)
{
    const auto used = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    };
    const double before = used();
    const bool ok = platform::os::RunProgram(fxc, "/T fx_2_0 /Fo " + out.string() + " shadowDemo.fx",
                                             ZANDREL_RUN_DIR).exitCode == 0;
    seconds = used() - before;
    return ok;
}

void BM_ShadowDemoProcessorTime(benchmark::State& state)
{
    char pattern[] = "/tmp/zandrel_compile_time_XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const std::string mine = std::string(ZANDREL_RUN_DIR) + kEffectCompilerPath;
    const char* other = std::getenv("ZANDREL_BENCH_OTHER_FXC");
    double mineSeconds = 0, otherSeconds = 0;
    bool ok = true;
    for (auto _ : state) {
        double seconds = 0;
        ok = Compile(mine, dir / "mine.fxo", seconds) && ok;
        mineSeconds += seconds;
        if (other) {
            ok = Compile(other, dir / "other.fxo", seconds) && ok;
            otherSeconds += seconds;
        }
    }
    fs::remove_all(dir);
    if (!ok)
        state.SkipWithError("a compiler failed on shadowDemo.fx");
    state.counters["this_build_s"] = benchmark::Counter(mineSeconds, benchmark::Counter::kAvgIterations);
    if (other) {
        state.counters["other_s"] = benchmark::Counter(otherSeconds, benchmark::Counter::kAvgIterations);
        state.counters["ratio"] = otherSeconds > 0 ? mineSeconds / otherSeconds : 0;
    }
}
BENCHMARK(BM_ShadowDemoProcessorTime)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
