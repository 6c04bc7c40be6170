#include "testing/gfx_failure_injection.h"

#include <mutex>
#include <vector>

#include "platform/gfx/device/hooks.h"

namespace platform::testing {

namespace {

struct Injection {
    std::string name;
    gfx::Result result = gfx::kFail;
    uint32_t skip = 0;  // calls that pass before the first injected one
    uint32_t times = 1; // injected calls; 0 = every call from then on
};

// One list for the process: the device keeps no pointer that could outlive it.
class Injections final : public gfx::detail::ResultInjector {
public:
    std::optional<gfx::Result> Take(std::string_view name) override
    {
        std::lock_guard lock(mutex);
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->name != name) continue;
            if (it->skip > 0) {
                --it->skip;
                return std::nullopt;
            }
            const gfx::Result result = it->result;
            if (it->times != 0 && --it->times == 0) {
                list.erase(it);
                Install(!list.empty());
            }
            return result;
        }
        return std::nullopt;
    }

    // The device asks only while something is injected (called under the lock).
    void Install(bool any)
    {
        gfx::detail::Hooks::Get().injector.store(any ? this : nullptr, std::memory_order_release);
    }

    std::mutex mutex;
    std::vector<Injection> list;
};

Injections& TheInjections()
{
    static Injections injections;
    return injections;
}

} // namespace

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
    Injections& injections = TheInjections();
    std::lock_guard lock(injections.mutex);
    injections.list.push_back(Injection{name, result, skip, times});
    injections.Install(true);
}

void GfxFailureInjection::Clear()
{
    Injections& injections = TheInjections();
    std::lock_guard lock(injections.mutex);
    injections.list.clear();
    injections.Install(false);
}

} // namespace platform::testing
