#pragma once
// One pool of equal blocks with a used byte per block and a circular cursor.
// A take tests only the block after the cursor, so the pool serves callers that
// give blocks back in about the order they took them; a caller that gives back
// the newest block at once gets that block again. Every operation is guarded,
// since the IO and render threads take and return blocks at the same time.
#include <atomic>
#include <cstddef>
#include <cstdint>

class alignas(64) circPool {
public:
    circPool() = default;
    ~circPool();
    circPool(const circPool&) = delete;
    circPool& operator=(const circPool&) = delete;

    // Takes count x blockSize bytes and count used bytes from the heap. When the
    // storage cannot be had the pool stays empty (count 0), says so and returns false.
    bool Build(uint32_t blockSize, uint32_t count);
    // Frees both arrays; the pool is empty afterwards.
    void Destroy();

    bool Holds(const void* address) const { return first <= address && address < end; }
    bool Empty() const { return count == 0; }

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
    friend void* CircPoolAlloc(circPool& pool);
    friend bool CircPoolFree(circPool& pool, void* address);
    void Lock();
    void Unlock() { lock_.clear(std::memory_order_release); }
    std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
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
