#include "platform/os/aligned_memory.h"

#include <cstdlib>

namespace platform::os {

void* AlignedAlloc(size_t size, size_t alignment)
{
    if (alignment == 0 || (alignment & (alignment - 1)) != 0)
        return nullptr;
    if (alignment < sizeof(void*))
        alignment = sizeof(void*);
    void* block = nullptr;
    if (posix_memalign(&block, alignment, size ? size : 1) != 0)
        return nullptr;
    return block;
}

void AlignedFree(void* block)
{
    std::free(block);
}

} // namespace platform::os
