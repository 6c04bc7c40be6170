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
    ResultInjector* injector = Hooks::Get().injector.load(std::memory_order_acquire);
    return injector ? injector->Take(name) : std::nullopt;
}

bool Recording()
{
    return Hooks::Get().recorder.load(std::memory_order_acquire) != nullptr;
}

void RecordCall(std::string_view name, std::initializer_list<uint64_t> args, Result result,
                std::initializer_list<float> floats)
{
    if (CallRecorder* recorder = Hooks::Get().recorder.load(std::memory_order_acquire))
        recorder->Call(name, args, result, floats);
}

void RecordDraw(RecordedDraw record)
{
    if (CallRecorder* recorder = Hooks::Get().recorder.load(std::memory_order_acquire))
        recorder->Draw(std::move(record));
}

AdapterConfig Adapter()
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    return hooks.adapter;
}

} // namespace gfx::detail
