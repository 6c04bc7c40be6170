#include "testing/gfx_call_record.h"

#include <mutex>

namespace platform::testing {

using gfx::detail::Hooks;

GfxCallRecord::GfxCallRecord()
{
    Clear();
    Hooks::Get().recording.store(true, std::memory_order_release);
}

GfxCallRecord::~GfxCallRecord()
{
    Hooks::Get().recording.store(false, std::memory_order_release);
    Clear();
}

std::vector<GfxCall> GfxCallRecord::Calls() const
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    return hooks.calls;
}

std::vector<gfx::RecordedDraw> GfxCallRecord::Draws() const
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    return hooks.draws;
}

std::vector<GfxCall> GfxCallRecord::Calls(const std::string& name) const
{
    std::vector<GfxCall> found;
    for (GfxCall& call : Calls()) {
        if (call.name == name) found.push_back(std::move(call));
    }
    return found;
}

size_t GfxCallRecord::Count(const std::string& name) const
{
    return Calls(name).size();
}

std::vector<std::string> GfxCallRecord::Names() const
{
    std::vector<std::string> names;
    for (const GfxCall& call : Calls()) names.push_back(call.name);
    return names;
}

void GfxCallRecord::Clear()
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    hooks.calls.clear();
    hooks.draws.clear();
}

} // namespace platform::testing
