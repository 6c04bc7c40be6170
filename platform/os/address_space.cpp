#include "platform/os/address_space.h"

#include <sys/mman.h>

namespace platform::os {

void* ReserveAddressSpace(size_t bytes)
{
    void* span = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return span == MAP_FAILED ? nullptr : span;
}

void ReleaseAddressSpace(void* span, size_t bytes)
{
    munmap(span, bytes);
}

void DiscardPages(void* start, size_t bytes)
{
    const size_t page = 4096;
    madvise(start, (bytes + page - 1) / page * page, MADV_DONTNEED);
}

} // namespace platform::os
