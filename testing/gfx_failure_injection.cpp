#include "testing/gfx_failure_injection.h"

#include <mutex>

#include "platform/gfx/device/hooks.h"

namespace platform::testing {

using gfx::detail::Hooks;

GfxFailureInjection::GfxFailureInjection()
{
    Clear();
}

GfxFailureInjection::~GfxFailureInjection()
{
    Clear();
}

void GfxFailureInjection::Fail(const std::string& name, gfx::Result result, uint32_t times, uint32_t skip)
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    hooks.injections.push_back(gfx::detail::Injection{name, result, skip, times});
    hooks.anyInjection.store(true, std::memory_order_release);
}

void GfxFailureInjection::Clear()
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    hooks.injections.clear();
    hooks.anyInjection.store(false, std::memory_order_release);
}

} // namespace platform::testing
