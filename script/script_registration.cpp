#include "script/script_registration.h"

#include <algorithm>

#include "script/script_host.h"

namespace {
struct QueuedRegistration {
    ScriptBindingOrder order;
    PendingRegistration registration;
};

// Never destroyed, so queuing works from any static initialiser and the
// queue survives every engine made and released during the process.
std::vector<QueuedRegistration>& Queue()
{
    static auto* queue = new std::vector<QueuedRegistration>;
    return *queue;
}
} // namespace

void QueueScriptRegistration(ScriptBindingOrder order, std::string declaration,
                             const AngelScript::asSFuncPtr& function, AngelScript::asDWORD callConv)
{
    if (ScriptHost* host = ExistingScriptHost(); host && host->engine) {
        host->RegisterScriptFunction(declaration, function, callConv);
        return;
    }
    Queue().push_back({order, {std::move(declaration), function, callConv}});
}

std::vector<PendingRegistration> QueuedScriptRegistrations()
{
    std::vector<QueuedRegistration> sorted = Queue();
    std::stable_sort(sorted.begin(), sorted.end(), [](const QueuedRegistration& a, const QueuedRegistration& b) {
        return static_cast<int>(a.order) < static_cast<int>(b.order);
    });
    std::vector<PendingRegistration> result;
    result.reserve(sorted.size());
    for (QueuedRegistration& queued : sorted)
        result.push_back(std::move(queued.registration));
    return result;
}
