#pragma once
// The kernel's block pools: thirteen circPools of growing block size that hold
// the bytes of every file read and all memory of the archive library. Eleven
// take their block count from section [mem] (pool16 ... pool16384), two are
// fixed. A request goes to the smallest pool with blocks that fits it; a pool
// whose block after the cursor is still in use reports its overflow and the
// request is served by the heap, as is one larger than every block. PoolFree
// finds by address where a block came from.
//
// Speed: the pool that serves a size is found in a table, and the pool that
// holds an address from the address alone, since the set reserves one span of
// addresses per slot. Each thread keeps a small cache of free blocks per pool
// (up to 1/16 of its blocks, none for pools of under 16 blocks) in front of
// it, so a take and a return usually touch no lock and no memory another
// thread writes. A cache empties half of itself back into its pool when full
// and fills from the pool in batches; blocks freed on another thread than the
// one that took them so go back in batches. A thread's cache goes back to the
// pools when the thread ends. A block in a cache carries a mark in its first
// bytes, by which returning it a second time is still reported.
#include <physfs.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/circ_pool.h"

// The set of pools, in ascending block size. It gets its room from InitPools
// and its records one by one; adding past the room writes
// "staticHeapVector overflow." to the standard error stream and starts again at
// slot 0, as the engine's fixed heap vectors do.
class PoolSet {
public:
    // Slots that get thread caches, and the most blocks one holds per slot.
    static constexpr uint32_t kCachedSlots = 16;
    static constexpr uint32_t kMaxCached = 64;
    // Each slot's reserved span of addresses: 256 MiB. A pool larger than that
    // takes its blocks from the heap and is found by a walk instead.
    static constexpr unsigned kSpanShift = 28;

    // One thread's free blocks of one set, per slot: the block freed last, then
    // a list threaded through the blocks' first words, newest first.
    struct ThreadCache {
        struct Slot {
            void* last = nullptr;
            void* head = nullptr;
            uint32_t count = 0;     // blocks on the list
            uint32_t capacity = 0;  // most blocks on the list
        };
        // The set whose blocks these are; null once that set let the cache go.
        // Set and cleared under the registry lock, read by the owning thread.
        std::atomic<PoolSet*> owner{nullptr};
        Slot slots[kCachedSlots];
    };
    struct ThreadCaches;

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

    inline void* Alloc(uint32_t size);
    inline void Free(void* address);
    // A block of at least size bytes holding the old contents; the old block
    // itself when it is a pool block that still fits. Null (old block kept)
    // when no memory is to be had.
    void* Realloc(void* address, uint32_t size);
    // The pool whose address range holds address, or null (a heap block).
    circPool* PoolOf(const void* address);

    // Gives the blocks the calling thread keeps for this set back to their pools.
    void ReturnThreadCache();

    // Run by a record's Build: the lookup tables follow the new shape, and the
    // thread caches are let go (blocks they held of a rebuilt pool are gone).
    void RecordBuilt();

private:
    static constexpr uint16_t kNoSlot = 0xFFFF;

    // Bucket k > 1 holds the sizes 2^(k-1) + 1 ... 2^k, bucket 1 the sizes 1
    // and 2; size 0 lands in bucket 32, which the fast path never takes.
    static uint32_t Bucket(uint32_t size) { return 32 - static_cast<uint32_t>(__builtin_clz((size - 1) | 1)); }

    void* AllocSlow(uint32_t size);
    void FreeSlow(void* address);
    // The calling thread's cache for this set, attached on first use; null when
    // the thread is ending.
    ThreadCache* CacheOfThisThread();
    // Under the registry lock: every thread cache forgets this set.
    void DetachThreadsLocked();
    void DetachThreads();
    void ReturnCachedLocked(ThreadCache& cache);
    // A cached block: its first word links to the next on the list, its second
    // is the mark.
    static void* Next(const void* block)
    {
        void* next;
        __builtin_memcpy(&next, block, sizeof(next));
        return next;
    }
    bool Marked(const void* block) const
    {
        uint64_t word;
        __builtin_memcpy(&word, static_cast<const uint8_t*>(block) + 8, sizeof(word));
        return word == (reinterpret_cast<uintptr_t>(block) ^ markKey_);
    }
    void Mark(void* block) const
    {
        const uint64_t word = reinterpret_cast<uintptr_t>(block) ^ markKey_;
        __builtin_memcpy(static_cast<uint8_t*>(block) + 8, &word, sizeof(word));
    }
    static void ClearMark(void* block)
    {
        const uint64_t word = 0;
        __builtin_memcpy(static_cast<uint8_t*>(block) + 8, &word, sizeof(word));
    }
    // Puts a block on a list with room.
    static void Link(ThreadCache::Slot& cached, void* block)
    {
        // Two plain stores: the compiler would merge the mark and the link into
        // one wide store, from which the next take could not load the link fast.
        asm volatile("" ::: "memory");
        __builtin_memcpy(block, &cached.head, sizeof(void*));
        cached.head = block;
        ++cached.count;
    }
    static void* Unlink(ThreadCache::Slot& cached)
    {
        void* block = cached.head;
        cached.head = Next(block);
        --cached.count;
        return block;
    }

    // What the fast paths read, together.
    uint8_t* region_ = nullptr;
    size_t cachedBytes_ = 0;  // the spans of the slots that have caches
    uint64_t markKey_ = 0;
    // Per size bucket, the pool with blocks that serves every size of it, when
    // that pool has a thread cache; else kNoSlot (the slow path looks).
    uint16_t cachedFit_[33] = {kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot,
                               kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot,
                               kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot,
                               kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot};
    uint8_t* cachedEnd_[kCachedSlots] = {}; // each cached pool's end

    circPool* records_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
    size_t regionBytes_ = 0;
    // fitFrom_: per bucket, the first pool with blocks that holds the bucket's
    // smallest size; nextFit_: the next pool with blocks after a slot.
    uint16_t fitFrom_[33] = {kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot,
                             kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot,
                             kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot,
                             kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot, kNoSlot};
    std::unique_ptr<uint16_t[]> nextFit_;
    uint32_t cacheCapacity_[kCachedSlots] = {};
    bool poolsOutsideRegion_ = false;
    std::vector<ThreadCache*> threads_; // guarded by the registry lock
};

// The cache the calling thread used last: the fast paths look only here.
extern constinit thread_local PoolSet::ThreadCache* poolThreadCache;

void* PoolSet::Alloc(uint32_t size)
{
    const uint32_t slot = cachedFit_[Bucket(size)];
    ThreadCache* cache = poolThreadCache;
    if (slot != kNoSlot && cache && cache->owner.load(std::memory_order_relaxed) == this) {
        ThreadCache::Slot& cached = cache->slots[slot];
        void* block = cached.last;
        if (block)
            cached.last = nullptr;
        else if (cached.head)
            block = Unlink(cached);
        if (block) {
            ClearMark(block);
            return block;
        }
    }
    return AllocSlow(size);
}

void PoolSet::Free(void* address)
{
    const uintptr_t offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(region_);
    ThreadCache* cache = poolThreadCache;
    if (offset < cachedBytes_ && cache && cache->owner.load(std::memory_order_relaxed) == this) {
        const uint32_t slot = static_cast<uint32_t>(offset >> kSpanShift);
        ThreadCache::Slot& cached = cache->slots[slot];
        if (static_cast<uint8_t*>(address) < cachedEnd_[slot] && !Marked(address)) {
            if (!cached.last) {
                Mark(address);
                cached.last = address;
                return;
            }
            if (cached.count < cached.capacity) {
                Mark(address);
                Link(cached, address);
                return;
            }
        }
    }
    FreeSlow(address);
}

// The kernel's one set; empty from static initialisation until BuildKernelPools.
extern PoolSet circPools;

inline constexpr uint32_t kKernelPoolCount = 13;
// The most bytes of blocks a pool of section [mem] may have: its slot's span.
inline constexpr size_t kPoolSpanBytes = size_t{1} << PoolSet::kSpanShift;

void InitPools(uint32_t capacity);
// InitPools(13) and the thirteen pools, counts from section [mem], each held to
// kPoolSpanBytes of blocks (a count past it is reported, see
// kernel/bounded_setting.h). Done by the
// file system's constructor; the pools live until exit, so a later file system
// finds them built and leaves them as they are.
void BuildKernelPools();
bool KernelPoolsBuilt();

void* PoolAlloc(uint32_t size);
void PoolFree(void* address);

// The allocator given to PhysicsFS. It takes some sizes at an archive's word
// (a symbolic link entry's declared length), so a request past
// kLargestFileBytes, which nothing it does for our files needs, gets null.
int PhysFSInit();
void PhysFSDeinit();
void* PhysFSMalloc(PHYSFS_uint64 size);
void* PhysFSRealloc(void* address, PHYSFS_uint64 size);
void PhysFSFree(void* address);

// Empties the set and frees every pool's storage; run at exit.
void DestroyPools();
