#include "kernel/memory_pools.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

#include "kernel/bounded_setting.h"
#include "kernel/file_buffer.h"
#include "kernel/settings.h"
#include "platform/os/address_space.h"

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

uint32_t SmallestOfBucket(uint32_t bucket)
{
    return bucket <= 1 ? 1 : (uint32_t{1} << (bucket - 1)) + 1;
}

uint32_t LargestOfBucket(uint32_t bucket)
{
    return bucket == 32 ? UINT32_MAX : uint32_t{1} << bucket;
}

// Guards which thread caches belong to which set: attaching, letting go,
// thread ends and sets going away. Never destroyed, since threads may end
// after the static objects are gone.
std::mutex& RegistryLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

uint64_t NextSetId()
{
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// How many sets one thread keeps caches for at once.
constexpr size_t kCachesPerThread = 4;
} // namespace

// The caches of one thread; they go back to their pools when the thread ends.
struct PoolSet::ThreadCaches {
    ThreadCache* entries[kCachesPerThread] = {};
    ~ThreadCaches();
};

constinit thread_local PoolSet::ThreadCache* poolThreadCache = nullptr;

namespace {
// Set once the thread's caches are gone (it is ending): pools are used directly.
thread_local bool threadCachesGone = false;
thread_local PoolSet::ThreadCaches threadCaches;
} // namespace

PoolSet::ThreadCaches::~ThreadCaches()
{
    poolThreadCache = nullptr;
    threadCachesGone = true;
    std::lock_guard lock(RegistryLock());
    for (ThreadCache*& entry : entries) {
        if (entry) {
            if (PoolSet* set = entry->owner.load(std::memory_order_relaxed)) {
                set->ReturnCachedLocked(*entry);
                set->threads_.erase(std::find(set->threads_.begin(), set->threads_.end(), entry));
            }
            delete entry;
        }
        entry = nullptr;
    }
}

void PoolSet::Init(uint32_t capacity)
{
    Destroy();
    records_ = new circPool[capacity];
    capacity_ = capacity;
    nextFit_ = std::make_unique<uint16_t[]>(capacity);
    // One span of addresses per slot, committed only as blocks are used. Without
    // it every pool takes its blocks from the heap.
    const size_t bytes = static_cast<size_t>(capacity) << kSpanShift;
    if (capacity != 0 && capacity < kNoSlot) {
        region_ = static_cast<uint8_t*>(platform::os::ReserveAddressSpace(bytes));
        regionBytes_ = region_ ? bytes : 0;
    }
    // Mixed from the set's place and a count, so that each set marks differently.
    markKey_ = (reinterpret_cast<uintptr_t>(this) + NextSetId()) * 0x9E3779B97F4A7C15ull;
    RecordBuilt();
}

circPool& PoolSet::Add()
{
    if (count_ >= capacity_) {
        std::cerr << "staticHeapVector overflow.\n";
        count_ = 0;
    }
    const uint32_t slot = count_++;
    circPool& record = records_[slot];
    record.set_ = this;
    if (region_) {
        record.home_ = region_ + (static_cast<size_t>(slot) << kSpanShift);
        record.homeBytes_ = size_t{1} << kSpanShift;
    }
    RecordBuilt();
    return record;
}

void PoolSet::Destroy()
{
    DetachThreads();
    // The whole span goes back below; no pool need give its pages back first.
    for (uint32_t i = 0; i < capacity_; ++i)
        if (!records_[i].ownsStorage_)
            records_[i].blocks = nullptr;
    delete[] records_;
    records_ = nullptr;
    if (region_)
        platform::os::ReleaseAddressSpace(region_, regionBytes_);
    region_ = nullptr;
    regionBytes_ = 0;
    capacity_ = count_ = 0;
    RecordBuilt();
    nextFit_.reset();
}

void PoolSet::RecordBuilt()
{
    DetachThreads();
    std::fill(std::begin(fitFrom_), std::end(fitFrom_), kNoSlot);
    std::fill(std::begin(cacheCapacity_), std::end(cacheCapacity_), 0u);
    std::fill(std::begin(cachedFit_), std::end(cachedFit_), kNoSlot);
    std::fill(std::begin(cachedEnd_), std::end(cachedEnd_), nullptr);
    poolsOutsideRegion_ = false;
    uint16_t next = kNoSlot;
    for (uint32_t slot = count_; slot-- > 0;) {
        const circPool& pool = records_[slot];
        if (nextFit_)
            nextFit_[slot] = next;
        if (pool.Empty())
            continue;
        next = static_cast<uint16_t>(slot);
        if (pool.ownsStorage_)
            poolsOutsideRegion_ = true;
        else if (slot < kCachedSlots && pool.blockSize >= 2 * sizeof(uint64_t))
            cacheCapacity_[slot] = std::min(kMaxCached, pool.count / 16);
        if (slot < kCachedSlots && cacheCapacity_[slot])
            cachedEnd_[slot] = pool.end;
    }
    cachedBytes_ = region_ ? static_cast<size_t>(std::min(count_, kCachedSlots)) << kSpanShift : 0;
    // Pools rise in block size, so the first that holds a bucket's smallest size
    // is at most a step or two from the one that holds any size of the bucket.
    for (uint32_t bucket = 0; bucket < 33; ++bucket) {
        const uint32_t smallest = SmallestOfBucket(bucket);
        for (uint32_t slot = 0; slot < count_; ++slot) {
            if (!records_[slot].Empty() && records_[slot].blockSize >= smallest) {
                fitFrom_[bucket] = static_cast<uint16_t>(slot);
                break;
            }
        }
        // The fast path takes the bucket only when one cached pool serves all of it.
        const uint16_t fit = fitFrom_[bucket];
        if (bucket != 32 && fit != kNoSlot && fit < kCachedSlots && cacheCapacity_[fit] &&
            records_[fit].blockSize >= LargestOfBucket(bucket))
            cachedFit_[bucket] = fit;
    }
}

void PoolSet::DetachThreads()
{
    std::lock_guard lock(RegistryLock());
    DetachThreadsLocked();
}

void PoolSet::DetachThreadsLocked()
{
    for (ThreadCache* cache : threads_)
        cache->owner.store(nullptr, std::memory_order_relaxed);
    threads_.clear();
}

void PoolSet::ReturnCachedLocked(ThreadCache& cache)
{
    for (uint32_t slot = 0; slot < kCachedSlots && slot < count_; ++slot) {
        ThreadCache::Slot& cached = cache.slots[slot];
        void* blocks[kMaxCached + 1];
        uint32_t n = 0;
        if (cached.last)
            blocks[n++] = cached.last;
        while (cached.head)
            blocks[n++] = Unlink(cached);
        records_[slot].ReturnBatch(blocks, n);
        cached.last = nullptr;
    }
}

void PoolSet::ReturnThreadCache()
{
    if (threadCachesGone)
        return;
    for (ThreadCache* entry : threadCaches.entries) {
        if (entry && entry->owner.load(std::memory_order_relaxed) == this) {
            std::lock_guard lock(RegistryLock());
            ReturnCachedLocked(*entry);
        }
    }
}

PoolSet::ThreadCache* PoolSet::CacheOfThisThread()
{
    if (threadCachesGone)
        return nullptr;
    ThreadCaches& caches = threadCaches;
    for (ThreadCache* entry : caches.entries) {
        if (entry && entry->owner.load(std::memory_order_relaxed) == this) {
            poolThreadCache = entry;
            return entry;
        }
    }
    std::lock_guard lock(RegistryLock());
    // A free place, else one whose set let it go, else the last one, whose
    // blocks go back to their set.
    ThreadCache** place = nullptr;
    for (ThreadCache*& entry : caches.entries)
        if (!place && (!entry || !entry->owner.load(std::memory_order_relaxed)))
            place = &entry;
    if (!place) {
        place = &caches.entries[kCachesPerThread - 1];
        PoolSet* other = (*place)->owner.load(std::memory_order_relaxed);
        other->ReturnCachedLocked(**place);
        other->threads_.erase(std::find(other->threads_.begin(), other->threads_.end(), *place));
    }
    if (!*place)
        *place = new ThreadCache;
    ThreadCache& cache = **place;
    for (uint32_t slot = 0; slot < kCachedSlots; ++slot) {
        cache.slots[slot] = ThreadCache::Slot{};
        cache.slots[slot].capacity = cacheCapacity_[slot];
    }
    cache.owner.store(this, std::memory_order_relaxed);
    threads_.push_back(&cache);
    poolThreadCache = &cache;
    return &cache;
}

circPool* PoolSet::PoolOf(const void* address)
{
    const uintptr_t offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(region_);
    if (offset < regionBytes_) {
        circPool& pool = records_[offset >> kSpanShift];
        if (pool.Holds(address))
            return &pool;
    }
    if (poolsOutsideRegion_)
        for (uint32_t i = 0; i < count_; ++i)
            if (records_[i].ownsStorage_ && records_[i].Holds(address))
                return &records_[i];
    return nullptr;
}

void* PoolSet::AllocSlow(uint32_t size)
{
    uint32_t slot = fitFrom_[Bucket(size == 0 ? 1 : size)];
    while (slot != kNoSlot && records_[slot].blockSize < size)
        slot = nextFit_[slot];
    if (slot == kNoSlot) {
        std::cout << "No circPool for " << size << "!\n";
        return HeapAlloc(size);
    }
    circPool& pool = records_[slot];
    ThreadCache* cache = slot < kCachedSlots && cacheCapacity_[slot] ? CacheOfThisThread() : nullptr;
    if (!cache) {
        if (void* block = CircPoolAlloc(pool))
            return block;
        // Overflowed (already reported): the heap serves, PoolFree sends it back there.
        return HeapAlloc(size);
    }
    ThreadCache::Slot& cached = cache->slots[slot];
    void* block = cached.last;
    if (block) {
        cached.last = nullptr;
    } else if (cached.head) {
        block = Unlink(cached);
    } else {
        void* batch[kMaxCached];
        const uint32_t taken = pool.TakeBatch(batch, std::max(1u, cached.capacity / 2));
        if (taken == 0)
            return HeapAlloc(size);
        // The first block is the one after the cursor; the others follow it out
        // of the cache in ring order.
        for (uint32_t i = taken; i-- > 1;)
            Link(cached, batch[i]);
        block = batch[0];
    }
    ClearMark(block);
    return block;
}

void PoolSet::FreeSlow(void* address)
{
    circPool* pool = PoolOf(address);
    if (!pool) {
        std::free(address);
        return;
    }
    const auto slot = static_cast<uint32_t>(pool - records_);
    ThreadCache* cache = slot < kCachedSlots && cacheCapacity_[slot] ? CacheOfThisThread() : nullptr;
    if (!cache) {
        CircPoolFree(*pool, address);
        return;
    }
    if (Marked(address)) {
        pool->ReportAlreadyDeleted();
        return;
    }
    ThreadCache::Slot& cached = cache->slots[slot];
    Mark(address);
    if (!cached.last) {
        cached.last = address;
        return;
    }
    if (cached.count >= cached.capacity) {
        // Full: half the list goes back under one hold of the pool's lock.
        void* blocks[kMaxCached];
        uint32_t n = 0;
        while (n < std::max(1u, cached.capacity / 2))
            blocks[n++] = Unlink(cached);
        pool->ReturnBatch(blocks, n);
    }
    Link(cached, address);
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
    Free(address);
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
        // A pool's blocks fit the span of addresses its slot reserves (256 MiB,
        // committed only as files use them); a larger count would take them
        // from the heap, as much as it asks for, before the first file.
        if (shape.key)
            count = static_cast<uint32_t>(GetBoundedInt(GetSettings(), "mem", shape.key, 0,
                                                        static_cast<int>(kPoolSpanBytes / shape.blockSize), "blocks"));
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
    if (size > kLargestFileBytes)
        return nullptr;
    return PoolAlloc(static_cast<uint32_t>(size));
}

void* PhysFSRealloc(void* address, PHYSFS_uint64 size)
{
    if (size > kLargestFileBytes)
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
