#include "platform/gfx/device/resource_storage.h"

#include <sys/mman.h>

namespace gfx {

namespace {

// From here on a block is worth a mapping of its own.
constexpr uint64_t kMappedFrom = 64 * 1024;

} // namespace

void FreeResourceBytes::operator()(uint8_t* bytes) const noexcept
{
    if (mapped != 0)
        munmap(bytes, mapped);
    else
        std::free(bytes);
}

ResourceStorage AllocateResourceStorage(uint64_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX)
        return nullptr;
    if (bytes >= kMappedFrom) {
        void* mapped = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                            -1, 0);
        if (mapped == MAP_FAILED)
            return nullptr;
        return ResourceStorage(static_cast<uint8_t*>(mapped), FreeResourceBytes{static_cast<size_t>(bytes)});
    }
    return ResourceStorage(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1)));
}

} // namespace gfx
