#pragma once
// The target of a file load: the bytes (a pool block, or memory of the caller),
// their count and the name of the file last loaded. LoadFile fills it,
// ReleaseFile gives a pool block back. The busy flag marks a load in progress;
// it is taken and dropped across threads, so it is atomic and taken in one step.
#include <atomic>
#include <cstdint>

#include "kernel/hashed_name.h"

// The most bytes one load may take. No data of this system comes near it; a
// file or an archive entry past it (a ZIP entry of a few kilobytes may inflate
// to gigabytes) is refused before anything is taken for it.
inline constexpr uint64_t kLargestFileBytes = uint64_t{256} << 20;
static_assert(kLargestFileBytes <= UINT32_MAX, "a buffer counts its bytes in 32 bits");

struct FileBuffer {
    FileBuffer() = default;
    // Two buffers must never own one pool block.
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    uint8_t* data = nullptr;
    uint32_t size = 0;
    HashedName128 name;
    uint8_t external = 0;            // data is the caller's: never freed here
    std::atomic<uint8_t> busy{0};

    // Sets busy if it was clear; false when another load holds it.
    bool TryTakeBusy()
    {
        uint8_t clear = 0;
        return busy.compare_exchange_strong(clear, 1, std::memory_order_acquire);
    }
    // Waits until no other load holds the buffer, then takes it.
    void TakeBusy();
    void ReleaseBusy() { busy.store(0, std::memory_order_release); }
    bool IsBusy() const { return busy.load(std::memory_order_acquire) != 0; }
};
