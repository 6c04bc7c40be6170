#pragma once
// The script engine's memory: ten fixed-size block pools (16 to 8192 bytes)
// that serve every allocation of the engine; larger requests go to the heap.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <boost/pool/pool.hpp>

// Takes pool chunks from the process heap, announcing each on standard output.
struct ScriptChunkAllocator {
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    static char* malloc(size_type bytes);
    static void free(char* block);
};

using ScriptBlockPool = boost::pool<ScriptChunkAllocator>;

struct PoolSlot {
    ScriptBlockPool* pool = nullptr;
    uint32_t blockSize = 0;
};

// The process-wide set of pools behind the script engine (circPoolPooled).
class PooledMemory {
public:
    PooledMemory() = default;
    ~PooledMemory();
    PooledMemory(const PooledMemory&) = delete;
    PooledMemory& operator=(const PooledMemory&) = delete;

    // Makes the ten pools; later calls change nothing.
    void SetUp();
    bool IsSetUp() const { return !slots_.empty(); }

    void* PooledAlloc(std::size_t size);
    void PooledFree(void* block);

    const std::vector<PoolSlot>& Slots() const { return slots_; }

private:
    std::vector<PoolSlot> slots_;
};

PooledMemory& GetPooledMemory();

// The engine's global memory functions.
void* ScriptAlloc(std::size_t size);
void ScriptFree(void* block);
