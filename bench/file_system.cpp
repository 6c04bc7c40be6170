// Loading a 4 MB file through the file system: from the folder, from a stored
// ZIP entry and from a deflated one; and the same file taken in small reads,
// with and without a PhysicsFS buffer on the open file.
#include <benchmark/benchmark.h>
#include <physfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "kernel/file_system.h"
#include "kernel/memory_pools.h"
#include "testing/message_box_script.h"
#include "testing/zip_builder.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kFileSize = 4 << 20;

std::string Contents()
{
    // Sixteen symbols from a simple generator: deflate halves it, as it would
    // texture and mesh data.
    std::string bytes(kFileSize, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>('a' + ((state >> 16) & 15));
    }
    return bytes;
}

struct Setup {
    fs::path folder;
    Setup()
    {
        folder = fs::temp_directory_path() / ("zandrel_fs_bench_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        const std::string bytes = Contents();
        std::ofstream(folder / "big.bin", std::ios::binary) << bytes;
        std::ofstream(folder / "stored.zip", std::ios::binary) << ziptest::Build({{"big.bin", bytes, false}});
        std::ofstream(folder / "deflated.zip", std::ios::binary) << ziptest::Build({{"big.bin", bytes, true}});

        const uint32_t sizes[] = {16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 17424, 0x40080};
        InitPools(kKernelPoolCount);
        for (uint32_t size : sizes)
            circPools.Add().Build(size, size <= 17424 ? 1024 : 4);
        std::streambuf* saved = std::cout.rdbuf(nullptr);
        GetFileSystem()->Mount(folder.string(), "");
        GetFileSystem()->Mount((folder / "stored.zip").string(), "stored");
        GetFileSystem()->Mount((folder / "deflated.zip").string(), "deflated");
        std::cout.rdbuf(saved);
    }
    ~Setup() { fs::remove_all(folder); }
};

Setup& Files()
{
    static Setup setup;
    return setup;
}

void LoadWhole(benchmark::State& state, const char* name)
{
    Files();
    platform::testing::ScriptedMessageBoxes boxes;
    std::streambuf* saved = std::cout.rdbuf(nullptr); // "No circPool for ..." on every load
    FileBuffer buffer;
    for (auto _ : state) {
        if (!GetFileSystem()->LoadFile(buffer, name))
            state.SkipWithError("load failed");
        GetFileSystem()->ReleaseFile(buffer);
    }
    std::cout.rdbuf(saved);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

void SmallReads(benchmark::State& state, const char* name)
{
    Files();
    platform::testing::ScriptedMessageBoxes boxes;
    const auto bufferSize = static_cast<PHYSFS_uint64>(state.range(0));
    char chunk[256];
    for (auto _ : state) {
        PHYSFS_File* file = PHYSFS_openRead(name);
        if (bufferSize)
            PHYSFS_setBuffer(file, bufferSize);
        while (PHYSFS_readBytes(file, chunk, sizeof chunk) > 0)
            benchmark::DoNotOptimize(chunk);
        PHYSFS_close(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

} // namespace

BENCHMARK_CAPTURE(LoadWhole, folder, "big.bin")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadWhole, stored_zip, "stored/big.bin")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadWhole, deflated_zip, "deflated/big.bin")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SmallReads, folder, "big.bin")->Arg(0)->Arg(64 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SmallReads, stored_zip, "stored/big.bin")->Arg(0)->Arg(64 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SmallReads, deflated_zip, "deflated/big.bin")->Arg(0)->Arg(64 << 10)->Unit(benchmark::kMillisecond);
