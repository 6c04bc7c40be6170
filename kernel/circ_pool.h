#pragma once
// One pool of equal blocks with a used byte per block and a circular cursor.
// A take tests only the block after the cursor, so the pool serves callers that
// give blocks back in about the order they took them; a caller that gives back
// the newest block at once gets that block again. Every operation is guarded,
// since the IO and render threads take and return blocks at the same time.
// Finding a block's number takes a multiplication, never a division.
#include <atomic>
#include <cstddef>
#include <cstdint>

class PoolSet;

class alignas(64) circPool {
public:
    circPool() = default;
    ~circPool();
    circPool(const circPool&) = delete;
    circPool& operator=(const circPool&) = delete;

    // Takes count x blockSize bytes and count used bytes. The blocks come from
    // the room the pool's set reserved for it when they fit there, else from
    // the heap; either way untouched, so the system commits pages only as blocks
    // are really used. When the storage cannot be had the pool stays empty
    // (count 0), says so and returns false.
    bool Build(uint32_t blockSize, uint32_t count);
    // Frees both arrays; the pool is empty afterwards.
    void Destroy();

    bool Holds(const void* address) const { return first <= address && address < end; }
    bool Empty() const { return count == 0; }
    // The number (from 0) of the block holding `address`, which the pool holds.
    uint32_t IndexOf(const void* address) const;

    // Fields in their documented order.
    uint8_t* blocks = nullptr;
    uint8_t* used = nullptr;
    uint32_t cursor = 0;         // 1-based number of the block handed out last
    uint8_t* first = nullptr;    // lowest address of the pool
    uint32_t stride = 0;
    uint8_t* end = nullptr;      // first byte of the last block plus one
    uint32_t blockSize = 0;
    uint32_t count = 0;

private:
    friend class PoolSet;
    friend void* CircPoolAlloc(circPool& pool);
    friend bool CircPoolFree(circPool& pool, void* address);

    void Lock();
    void Unlock() { lock_.clear(std::memory_order_release); }
    // Under the lock: the block after the cursor (passing over blocks kept for
    // long), marked used; null when every block is in use.
    void* TakeLocked();
    // Under the lock: clears the block's used byte; false when it was free.
    bool ReturnLocked(void* address);
    // Up to `wanted` blocks into `out`; the overflow line when there was none.
    uint32_t TakeBatch(void** out, uint32_t wanted);
    // Gives `n` blocks back under one hold of the lock.
    void ReturnBatch(void* const* blocks, uint32_t n);
    void ReportOverflow() const;
    void ReportAlreadyDeleted() const;

    std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
    // Room reserved by the owning set (null for a pool of its own).
    uint8_t* home_ = nullptr;
    size_t homeBytes_ = 0;
    PoolSet* set_ = nullptr;
    bool ownsStorage_ = false;
    // A stride of 2^shift_ shifts; any other multiplies by 2^64 / stride rounded
    // up, since offset x reciprocal_ / 2^64 is offset / stride for every 32-bit
    // offset. Pools over 4 GiB divide.
    int shift_ = -1;
    uint64_t reciprocal_ = 0;
    bool wide_ = false;
};

// The block after the cursor. When that block is still in use the pool has
// overflowed: the error stream gets "circPool <size> <count> overflow!" and the
// result is null (the caller serves the request elsewhere), never a block in use.
// An empty pool gives null without a message.
void* CircPoolAlloc(circPool& pool);

// Gives a block back. A block that is already free gives the error stream
// "circPool <size> <count> element is already deleted!" and changes nothing
// (result false).
bool CircPoolFree(circPool& pool, void* address);
