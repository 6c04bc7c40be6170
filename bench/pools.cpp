// Taking and returning one block: the kernel pools against malloc and free,
// for four block sizes, on one thread and on two sharing the pools.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "kernel/memory_pools.h"
#include "testing/message_box_script.h"

namespace {

PoolSet& Pools()
{
    static PoolSet* set = [] {
        auto* pools = new PoolSet;
        const uint32_t sizes[] = {16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 17424, 0x40080};
        pools->Init(13);
        for (uint32_t size : sizes)
            pools->Add().Build(size, size <= 16384 ? 4096 : 16);
        return pools;
    }();
    return *set;
}

void PoolTakeReturn(benchmark::State& state)
{
    platform::testing::ScriptedMessageBoxes boxes;
    PoolSet& pools = Pools();
    const auto size = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        void* block = pools.Alloc(size);
        benchmark::DoNotOptimize(block);
        pools.Free(block);
    }
}

void MallocFree(benchmark::State& state)
{
    const auto size = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        void* block = std::malloc(size);
        benchmark::DoNotOptimize(block);
        std::free(block);
    }
}

} // namespace

BENCHMARK(PoolTakeReturn)->Arg(16)->Arg(64)->Arg(256)->Arg(4096)->Threads(1)->Threads(2);
BENCHMARK(MallocFree)->Arg(16)->Arg(64)->Arg(256)->Arg(4096)->Threads(1)->Threads(2);
