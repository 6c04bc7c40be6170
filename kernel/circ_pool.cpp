#include "kernel/circ_pool.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "kernel/error_stream.h"
#include "kernel/memory_pools.h"
#include "platform/os/address_space.h"

namespace {
__extension__ typedef unsigned __int128 Wide;
}

circPool::~circPool()
{
    Destroy();
}

bool circPool::Build(uint32_t size, uint32_t blockCount)
{
    Destroy();
    // A pool without blocks keeps its shape; its address range stays empty.
    stride = size;
    blockSize = size;
    if (size != 0 && blockCount != 0) {
        const size_t bytes = static_cast<size_t>(size) * blockCount;
        uint8_t* storage = nullptr;
        bool owned = false;
        if (home_ && bytes <= homeBytes_) {
            storage = home_;
        } else {
            storage = static_cast<uint8_t*>(std::malloc(bytes));
            owned = true;
        }
        uint8_t* flags = static_cast<uint8_t*>(std::calloc(blockCount, 1));
        if (!storage || !flags) {
            if (owned)
                std::free(storage);
            std::free(flags);
            errorTwoLines = false;
            GetErrorStream() << "circPool " << size << " " << blockCount << " can't be allocated!\n";
            if (set_)
                set_->RecordBuilt();
            return false;
        }
        blocks = storage;
        used = flags;
        ownsStorage_ = owned;
        cursor = 0;
        first = storage;
        end = storage + static_cast<size_t>(blockCount - 1) * size + 1;
        count = blockCount;
        wide_ = bytes > (uint64_t{1} << 32);
        if ((size & (size - 1)) == 0)
            shift_ = __builtin_ctz(size);
        else
            reciprocal_ = UINT64_MAX / size + 1;
    }
    if (set_)
        set_->RecordBuilt();
    return true;
}

void circPool::Destroy()
{
    if (ownsStorage_) {
        std::free(blocks);
    } else if (blocks) {
        // Room of the set: its pages go back to the system and read as zero
        // when the pool is built again.
        platform::os::DiscardPages(blocks, static_cast<size_t>(blockSize) * count);
    }
    std::free(used);
    blocks = used = first = end = nullptr;
    cursor = stride = blockSize = count = 0;
    ownsStorage_ = false;
    shift_ = -1;
    reciprocal_ = 0;
    wide_ = false;
}

uint32_t circPool::IndexOf(const void* address) const
{
    const uint64_t offset = static_cast<uint64_t>(static_cast<const uint8_t*>(address) - first);
    if (shift_ >= 0)
        return static_cast<uint32_t>(offset >> shift_);
    if (wide_)
        return static_cast<uint32_t>(offset / stride);
    return static_cast<uint32_t>((static_cast<Wide>(reciprocal_) * offset) >> 64);
}

void circPool::Lock()
{
    while (lock_.test_and_set(std::memory_order_acquire)) {
        // Wait on a plain read so the waiter does not pull the line away from
        // the holder; give the processor up only when the holder is held up.
        for (unsigned spins = 0; lock_.test(std::memory_order_relaxed); ++spins) {
            if (spins < 1024)
                __builtin_ia32_pause();
            else
                std::this_thread::yield();
        }
    }
}

void* circPool::TakeLocked()
{
    cursor = cursor >= count ? 1 : cursor + 1;
    uint32_t index = cursor - 1;
    if (used[index]) {
        // Blocks kept for long (archive state, resource data) sit in the ring:
        // go on to the next free block, and overflow only when none is left.
        const void* found = std::memchr(used + index, 0, count - index);
        if (!found)
            found = std::memchr(used, 0, index);
        if (!found)
            return nullptr;
        index = static_cast<uint32_t>(static_cast<const uint8_t*>(found) - used);
        cursor = index + 1;
    }
    used[index] = 1;
    return blocks + static_cast<size_t>(index) * blockSize;
}

bool circPool::ReturnLocked(void* address)
{
    const uint32_t index = IndexOf(address);
    if (!used[index])
        return false;
    used[index] = 0;
    if (index + 1 == cursor)
        cursor -= 1;
    return true;
}

uint32_t circPool::TakeBatch(void** out, uint32_t wanted)
{
    uint32_t taken = 0;
    Lock();
    while (taken < wanted) {
        void* block = TakeLocked();
        if (!block)
            break;
        out[taken++] = block;
    }
    Unlock();
    if (taken == 0 && wanted != 0)
        ReportOverflow();
    return taken;
}

void circPool::ReturnBatch(void* const* returned, uint32_t n)
{
    uint32_t alreadyFree = 0;
    Lock();
    for (uint32_t i = 0; i < n; ++i)
        alreadyFree += ReturnLocked(returned[i]) ? 0 : 1;
    Unlock();
    for (uint32_t i = 0; i < alreadyFree; ++i)
        ReportAlreadyDeleted();
}

void circPool::ReportOverflow() const
{
    errorTwoLines = false;
    GetErrorStream() << "circPool " << blockSize << " " << count << " overflow!\n";
}

void circPool::ReportAlreadyDeleted() const
{
    errorTwoLines = false;
    GetErrorStream() << "circPool " << blockSize << " " << count << " element is already deleted!\n";
}

void* CircPoolAlloc(circPool& pool)
{
    if (pool.count == 0)
        return nullptr;
    pool.Lock();
    void* block = pool.TakeLocked();
    pool.Unlock();
    if (!block)
        pool.ReportOverflow();
    return block;
}

bool CircPoolFree(circPool& pool, void* address)
{
    pool.Lock();
    const bool returned = pool.ReturnLocked(address);
    pool.Unlock();
    if (!returned)
        pool.ReportAlreadyDeleted();
    return returned;
}
