#pragma once
// The kernel's block pools: thirteen circPools of growing block size that hold
// the bytes of every file read and all memory of the archive library. Eleven
// take their block count from section [mem] (pool16 ... pool16384), two are
// fixed. A request goes to the smallest pool with blocks that fits it; a pool
// whose block after the cursor is still in use reports its overflow and the
// request is served by the heap, as is one larger than every block. PoolFree
// finds by address where a block came from.
#include <physfs.h>

#include <cstddef>
#include <cstdint>

#include "kernel/circ_pool.h"

// The set of pools, in ascending block size. It gets its room from InitPools
// and its records one by one; adding past the room writes
// "staticHeapVector overflow." to the standard error stream and starts again at
// slot 0, as the engine's fixed heap vectors do.
class PoolSet {
public:
    PoolSet() = default;
    ~PoolSet() { Destroy(); }
    PoolSet(const PoolSet&) = delete;
    PoolSet& operator=(const PoolSet&) = delete;

    void Init(uint32_t capacity);
    // The next record, to be built by the caller.
    circPool& Add();
    void Destroy();

    uint32_t Size() const { return count_; }
    uint32_t Capacity() const { return capacity_; }
    circPool& operator[](uint32_t slot) { return records_[slot]; }

    void* Alloc(uint32_t size);
    void Free(void* address);
    // A block of at least size bytes holding the old contents; the old block
    // itself when it is a pool block that still fits. Null (old block kept)
    // when no memory is to be had.
    void* Realloc(void* address, uint32_t size);
    // The pool whose address range holds address, or null (a heap block).
    circPool* PoolOf(const void* address);

private:
    circPool* records_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
};

// The kernel's one set; empty from static initialisation until BuildKernelPools.
extern PoolSet circPools;

inline constexpr uint32_t kKernelPoolCount = 13;

void InitPools(uint32_t capacity);
// InitPools(13) and the thirteen pools, counts from section [mem]. Done by the
// file system's constructor; the pools live until exit, so a later file system
// finds them built and leaves them as they are.
void BuildKernelPools();
bool KernelPoolsBuilt();

void* PoolAlloc(uint32_t size);
void PoolFree(void* address);

// The allocator given to PhysicsFS. Sizes of 4 GiB or more cannot be served
// (null), since the pools count in 32 bits.
int PhysFSInit();
void PhysFSDeinit();
void* PhysFSMalloc(PHYSFS_uint64 size);
void* PhysFSRealloc(void* address, PHYSFS_uint64 size);
void PhysFSFree(void* address);

// Empties the set and frees every pool's storage; run at exit.
void DestroyPools();
