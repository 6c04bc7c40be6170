#include "platform/gfx/device/ref_counted.h"

namespace gfx {

uint32_t RefCounted::AddRef()
{
    return refs_.fetch_add(1, std::memory_order_acq_rel) + 1;
}

uint32_t RefCounted::Release()
{
    const uint32_t before = refs_.load(std::memory_order_acquire);
    if (before == 0) return 0; // an extra release of a dying object changes nothing
    const uint32_t after = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (after == 0) delete this;
    return after;
}

} // namespace gfx
