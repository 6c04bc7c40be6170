#pragma once
// The bytes behind a surface, texture or buffer: zeroed when made. A large one
// is mapped straight from the system, so its pages cost neither time nor
// memory until they are written (the allocator's own heap may hand back used
// memory, which it would then have to zero page by page).
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace gfx {

struct FreeResourceBytes {
    size_t mapped = 0; // the mapping's length; 0 when the bytes came from the heap
    void operator()(uint8_t* bytes) const noexcept;
};

using ResourceStorage = std::unique_ptr<uint8_t[], FreeResourceBytes>;

// Null when the bytes cannot be had (or do not fit the address space).
ResourceStorage AllocateResourceStorage(uint64_t bytes);

} // namespace gfx
