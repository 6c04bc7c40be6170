#include "kernel/memory_pools.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "kernel/settings.h"

PoolSet circPools;

namespace {
struct PoolShape {
    uint32_t blockSize;
    const char* key;   // count from section [mem]; null for a fixed count
    uint32_t fixedCount;
};

constexpr PoolShape kKernelPools[kKernelPoolCount] = {
    {16, "pool16", 0},       {32, "pool32", 0},       {64, "pool64", 0},
    {128, "pool128", 0},     {256, "pool256", 0},     {512, "pool512", 0},
    {1024, "pool1024", 0},   {2048, "pool2048", 0},   {4096, "pool4096", 0},
    {8192, "pool8192", 0},   {16384, "pool16384", 0}, {17424, nullptr, 12000},
    {0x40080, nullptr, 4},
};

void* HeapAlloc(uint32_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}
} // namespace

void PoolSet::Init(uint32_t capacity)
{
    Destroy();
    records_ = new circPool[capacity];
    capacity_ = capacity;
}

circPool& PoolSet::Add()
{
    if (count_ >= capacity_) {
        std::cerr << "staticHeapVector overflow.\n";
        count_ = 0;
    }
    return records_[count_++];
}

void PoolSet::Destroy()
{
    delete[] records_;
    records_ = nullptr;
    capacity_ = count_ = 0;
}

circPool* PoolSet::PoolOf(const void* address)
{
    for (uint32_t i = 0; i < count_; ++i)
        if (records_[i].Holds(address))
            return &records_[i];
    return nullptr;
}

void* PoolSet::Alloc(uint32_t size)
{
    for (uint32_t i = 0; i < count_; ++i) {
        circPool& pool = records_[i];
        // An empty pool has nothing to give: the next larger one serves.
        if (pool.blockSize < size || pool.Empty())
            continue;
        if (void* block = CircPoolAlloc(pool))
            return block;
        // Overflowed (already reported): the heap serves, PoolFree sends it back there.
        return HeapAlloc(size);
    }
    std::cout << "No circPool for " << size << "!\n";
    return HeapAlloc(size);
}

void PoolSet::Free(void* address)
{
    if (circPool* pool = PoolOf(address))
        CircPoolFree(*pool, address);
    else
        std::free(address);
}

void* PoolSet::Realloc(void* address, uint32_t size)
{
    if (!address)
        return Alloc(size);
    circPool* pool = PoolOf(address);
    if (!pool)
        return std::realloc(address, size == 0 ? 1 : size);
    if (size <= pool->blockSize)
        return address;
    void* moved = Alloc(size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, address, pool->blockSize);
    CircPoolFree(*pool, address);
    return moved;
}

void InitPools(uint32_t capacity)
{
    circPools.Init(capacity);
}

bool KernelPoolsBuilt()
{
    return circPools.Size() == kKernelPoolCount;
}

void BuildKernelPools()
{
    if (KernelPoolsBuilt())
        return;
    InitPools(kKernelPoolCount);
    for (const PoolShape& shape : kKernelPools) {
        uint32_t count = shape.fixedCount;
        if (shape.key)
            count = static_cast<uint32_t>(std::max(0, GetSettings().GetInt("mem", shape.key)));
        circPools.Add().Build(shape.blockSize, count);
    }
}

void* PoolAlloc(uint32_t size)
{
    return circPools.Alloc(size);
}

void PoolFree(void* address)
{
    circPools.Free(address);
}

int PhysFSInit()
{
    return 1;
}

void PhysFSDeinit()
{
}

void* PhysFSMalloc(PHYSFS_uint64 size)
{
    if (size > UINT32_MAX)
        return nullptr;
    return PoolAlloc(static_cast<uint32_t>(size));
}

void* PhysFSRealloc(void* address, PHYSFS_uint64 size)
{
    if (size > UINT32_MAX)
        return nullptr;
    return circPools.Realloc(address, static_cast<uint32_t>(size));
}

void PhysFSFree(void* address)
{
    PoolFree(address);
}

void DestroyPools()
{
    circPools.Destroy();
}
