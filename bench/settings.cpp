// Reading a settings file that holds one very long line (2.5 to 20 MB) among
// the usual keys: the time should grow with the file's size, not faster.
#include <benchmark/benchmark.h>

#include <string>

#include "kernel/settings.h"
#include "testing/test_files.h"

namespace {

void SettingsWithOneLongLine(benchmark::State& state)
{
    const auto length = static_cast<size_t>(state.range(0));
    zandrel_test::TempDir dir("zandrel-settings-bench");
    dir.Write("settings.ini", "[Graphics]\nwidth=1280\nnote=" + std::string(length, 'x') + "\nheight=720\n");
    const std::string path = dir.Path("settings.ini").string();
    for (auto _ : state) {
        Settings settings;
        settings.LoadFile(path);
        if (settings.GetInt("Graphics", "height") != 720)
            state.SkipWithError("the key after the long line was lost");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

} // namespace

BENCHMARK(SettingsWithOneLongLine)
    ->Arg(2'500'000)
    ->Arg(5'000'000)
    ->Arg(10'000'000)
    ->Arg(20'000'000)
    ->Unit(benchmark::kMillisecond);
