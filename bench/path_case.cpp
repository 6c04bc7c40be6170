// Includes found without regard to letter case, as one compile looks for
// them: a folder of 100,000 names, and in it a path of 50 folders written in
// another case leading to 1,200 files. Each run is one compile's finder: it
// reads each folder once, however many files, missing names or paths that go
// in and out of a folder it is asked for.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os/path_case.h"
#include "testing/test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr int kNames = 100000;
constexpr int kParts = 50;
constexpr int kFiles = 1200;

struct Folder {
    zandrel_test::TempDir dir{"zandrel-bench-path-case"};
    std::string written; // the 50 folders in upper case, then '/'
    Folder()
    {
        for (int i = 0; i < kNames; ++i)
            std::ofstream(dir.Path("name" + std::to_string(i))).close();
        fs::path deep = dir.Dir();
        written = dir.Dir().string() + "/";
        for (int i = 1; i <= kParts; ++i) {
            deep /= "p" + std::to_string(i);
            written += "P" + std::to_string(i) + "/";
        }
        fs::create_directories(deep);
        for (int i = 0; i < kFiles; ++i)
            std::ofstream(deep / ("f" + std::to_string(i) + ".fxh")).close();
    }
};

const Folder& TheFolder()
{
    static const Folder folder;
    return folder;
}

void BM_FilesThroughAPathInAnotherCase(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    size_t read = 0;
    for (auto _ : state) {
        platform::os::CaseFinder finder;
        std::string why;
        for (int i = 0; i < kFiles; ++i)
            benchmark::DoNotOptimize(finder.Find(folder.written + "F" + std::to_string(i) + ".FXH", why));
        read = finder.EntriesRead();
    }
    state.counters["names read"] = static_cast<double>(read);
}
BENCHMARK(BM_FilesThroughAPathInAnotherCase)->Unit(benchmark::kMillisecond);

void BM_MissingNamesInAFolderOfManyNames(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    const std::string root = folder.dir.Dir().string() + "/";
    for (auto _ : state) {
        platform::os::CaseFinder finder;
        std::string why;
        for (int i = 0; i < 4000; ++i)
            benchmark::DoNotOptimize(finder.Find(root + "missing" + std::to_string(i), why));
    }
}
BENCHMARK(BM_MissingNamesInAFolderOfManyNames)->Unit(benchmark::kMillisecond);

void BM_APathInAndOutOfAFolder(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    std::string path = folder.dir.Dir().string() + "/";
    for (int i = 0; i < 800; ++i)
        path += "P1/../";
    path += "NAME7";
    for (auto _ : state) {
        platform::os::CaseFinder finder;
        std::string why;
        benchmark::DoNotOptimize(finder.Find(path, why));
    }
}
BENCHMARK(BM_APathInAndOutOfAFolder)->Unit(benchmark::kMillisecond);

} // namespace
