#include "script/script_memory.h"

#include <cstdlib>
#include <iostream>

#include <angelscript.h>

namespace {
struct PoolPlan {
    uint32_t blockSize;
    uint32_t firstChunkBlocks;
};
constexpr PoolPlan kPools[] = {
    {16, 16}, {32, 16384}, {64, 100}, {128, 4}, {256, 5},
    {512, 1}, {1024, 1}, {2048, 1}, {4096, 1}, {8192, 1},
};
} // namespace

char* ScriptChunkAllocator::malloc(size_type bytes)
{
    std::cout << "malloc " << bytes;
    return static_cast<char*>(std::malloc(bytes));
}

void ScriptChunkAllocator::free(char* block)
{
    std::free(block);
}

PooledMemory::~PooledMemory()
{
    // Anything the engine library still frees after this point must not reach
    // pools that are gone.
    AngelScript::asResetGlobalMemoryFunctions();
    std::vector<PoolSlot> slots;
    slots.swap(slots_);
    for (PoolSlot& slot : slots) {
        if (slot.pool) {
            slot.pool->purge_memory();
            delete slot.pool;
        }
    }
}

void PooledMemory::SetUp()
{
    if (IsSetUp())
        return;
    slots_.reserve(std::size(kPools));
    slots_.resize(std::size(kPools));
    for (std::size_t i = 0; i < std::size(kPools); ++i) {
        slots_[i].blockSize = kPools[i].blockSize;
        slots_[i].pool = new ScriptBlockPool(kPools[i].blockSize, kPools[i].firstChunkBlocks, 0);
    }
}

void* PooledMemory::PooledAlloc(std::size_t size)
{
    for (PoolSlot& slot : slots_) {
        if (slot.pool && slot.blockSize >= size)
            return slot.pool->malloc();
    }
    std::cout << "No circPoolPooled for " << size << "!\n";
    return std::malloc(size);
}

void PooledMemory::PooledFree(void* block)
{
    if (!block)
        return;
    for (PoolSlot& slot : slots_) {
        if (slot.pool && slot.pool->is_from(block)) {
            slot.pool->free(block);
            return;
        }
    }
    std::free(block);
}

PooledMemory& GetPooledMemory()
{
    static PooledMemory memory;
    return memory;
}

void* ScriptAlloc(std::size_t size)
{
    return GetPooledMemory().PooledAlloc(size);
}

void ScriptFree(void* block)
{
    GetPooledMemory().PooledFree(block);
}
