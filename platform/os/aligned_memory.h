#pragma once
// Memory blocks with a chosen alignment (objects holding matrices need 16).
#include <cstddef>

namespace platform::os {

// Null when the memory is not available or the alignment is not a power of two.
void* AlignedAlloc(size_t size, size_t alignment);
void AlignedFree(void* block);

} // namespace platform::os
