#pragma once
// The bytes behind a surface, texture or buffer: zeroed when made, and taken
// with calloc, so that a large one comes as untouched pages from the system and
// costs neither time nor memory until it is written.
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace gfx {

struct FreeResourceBytes {
    void operator()(uint8_t* bytes) const noexcept { std::free(bytes); }
};

using ResourceStorage = std::unique_ptr<uint8_t[], FreeResourceBytes>;

// Null when the bytes cannot be had (or do not fit the address space).
inline ResourceStorage AllocateResourceStorage(uint64_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX)
        return nullptr;
    return ResourceStorage(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1)));
}

} // namespace gfx
