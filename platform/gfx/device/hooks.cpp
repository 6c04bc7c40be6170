#include "platform/gfx/device/hooks.h"

#include <utility>

namespace gfx::detail {

Hooks& Hooks::Get()
{
    static Hooks hooks;
    return hooks;
}

std::optional<Result> TakeInjection(std::string_view name)
{
    Hooks& hooks = Hooks::Get();
    if (!hooks.anyInjection.load(std::memory_order_acquire)) return std::nullopt;
    std::lock_guard lock(hooks.mutex);
    for (size_t i = 0; i < hooks.injections.size(); ++i) {
        Injection& injection = hooks.injections[i];
        if (injection.name != name) continue;
        if (injection.skip > 0) {
            --injection.skip;
            return std::nullopt;
        }
        const Result result = injection.result;
        if (injection.times != 0 && --injection.times == 0) {
            hooks.injections.erase(hooks.injections.begin() + static_cast<std::ptrdiff_t>(i));
            hooks.anyInjection.store(!hooks.injections.empty(), std::memory_order_release);
        }
        return result;
    }
    return std::nullopt;
}

bool Recording()
{
    return Hooks::Get().recording.load(std::memory_order_acquire);
}

void RecordCall(std::string_view name, std::initializer_list<uint64_t> args, Result result,
                std::initializer_list<float> floats)
{
    if (!Recording()) return;
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    hooks.calls.push_back(CallEntry{std::string(name), std::vector<uint64_t>(args), std::vector<float>(floats), result});
}

void RecordDraw(RecordedDraw record)
{
    if (!Recording()) return;
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    hooks.draws.push_back(std::move(record));
}

AdapterConfig Adapter()
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    return hooks.adapter;
}

} // namespace gfx::detail
