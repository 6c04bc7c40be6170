#include "kernel/circ_pool.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "kernel/error_stream.h"

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
    if (size == 0 || blockCount == 0)
        return true;
    const size_t bytes = static_cast<size_t>(size) * blockCount;
    // The block storage is left untouched so that the system commits pages only
    // as blocks are really used.
    uint8_t* storage = static_cast<uint8_t*>(std::malloc(bytes));
    uint8_t* flags = static_cast<uint8_t*>(std::calloc(blockCount, 1));
    if (!storage || !flags) {
        std::free(storage);
        std::free(flags);
        errorTwoLines = false;
        GetErrorStream() << "circPool " << size << " " << blockCount << " can't be allocated!\n";
        return false;
    }
    blocks = storage;
    used = flags;
    cursor = 0;
    first = storage;
    stride = size;
    end = storage + static_cast<size_t>(blockCount - 1) * size + 1;
    blockSize = size;
    count = blockCount;
    return true;
}

void circPool::Destroy()
{
    std::free(blocks);
    std::free(used);
    blocks = used = first = end = nullptr;
    cursor = stride = blockSize = count = 0;
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

void* CircPoolAlloc(circPool& pool)
{
    if (pool.count == 0)
        return nullptr;
    pool.Lock();
    pool.cursor = pool.cursor >= pool.count ? 1 : pool.cursor + 1;
    uint32_t index = pool.cursor - 1;
    if (pool.used[index]) {
        // Blocks kept for long (archive state, resource data) sit in the ring:
        // go on to the next free block, and overflow only when none is left.
        const auto* from = pool.used + index;
        const auto* end = pool.used + pool.count;
        const void* found = std::memchr(from, 0, static_cast<size_t>(end - from));
        if (!found)
            found = std::memchr(pool.used, 0, index);
        if (found) {
            index = static_cast<uint32_t>(static_cast<const uint8_t*>(found) - pool.used);
            pool.cursor = index + 1;
        }
    }
    if (pool.used[index]) {
        const uint32_t size = pool.blockSize, count = pool.count;
        pool.Unlock();
        errorTwoLines = false;
        GetErrorStream() << "circPool " << size << " " << count << " overflow!\n";
        return nullptr;
    }
    pool.used[index] = 1;
    pool.Unlock();
    return pool.blocks + static_cast<size_t>(index) * pool.blockSize;
}

bool CircPoolFree(circPool& pool, void* address)
{
    const size_t index = static_cast<size_t>(static_cast<uint8_t*>(address) - pool.first) / pool.stride;
    pool.Lock();
    if (pool.used[index]) {
        pool.used[index] = 0;
        if (index + 1 == pool.cursor)
            pool.cursor -= 1;
        pool.Unlock();
        return true;
    }
    const uint32_t size = pool.blockSize, count = pool.count;
    pool.Unlock();
    errorTwoLines = false;
    GetErrorStream() << "circPool " << size << " " << count << " element is already deleted!\n";
    return false;
}
