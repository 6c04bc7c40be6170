#include "platform/gfx/device/adapter_memory.h"

#include <mutex>

#include "platform/gfx/device/hooks.h"

namespace gfx {

namespace {

std::mutex usedMutex;
uint64_t used = 0;

} // namespace

uint64_t VideoMemoryTotal()
{
    return detail::Adapter().videoMemoryTotal;
}

uint64_t VideoMemoryUsed()
{
    std::lock_guard lock(usedMutex);
    return used;
}

uint64_t VideoMemoryFree()
{
    const uint64_t total = VideoMemoryTotal();
    const uint64_t taken = VideoMemoryUsed();
    return taken >= total ? 0 : total - taken;
}

bool ReserveVideoMemory(uint64_t bytes)
{
    const uint64_t total = VideoMemoryTotal();
    std::lock_guard lock(usedMutex);
    if (bytes > total || used > total - bytes) return false;
    used += bytes;
    return true;
}

void FreeVideoMemory(uint64_t bytes)
{
    std::lock_guard lock(usedMutex);
    used = bytes > used ? 0 : used - bytes;
}

} // namespace gfx
