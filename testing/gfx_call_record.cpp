#include "testing/gfx_call_record.h"

#include <mutex>

#include "platform/gfx/device/hooks.h"

namespace platform::testing {

namespace {

// One record for the process: the device keeps no pointer that could outlive it.
class Record final : public gfx::detail::CallRecorder {
public:
    void Call(std::string_view name, std::initializer_list<uint64_t> args, gfx::Result result,
              std::initializer_list<float> floats) override
    {
        std::lock_guard lock(mutex);
        calls.push_back(GfxCall{std::string(name), std::vector<uint64_t>(args), std::vector<float>(floats), result});
    }
    void Draw(gfx::RecordedDraw record) override
    {
        std::lock_guard lock(mutex);
        draws.push_back(std::move(record));
    }

    std::mutex mutex;
    std::vector<GfxCall> calls;
    std::vector<gfx::RecordedDraw> draws;
};

Record& TheRecord()
{
    static Record record;
    return record;
}

} // namespace

GfxCallRecord::GfxCallRecord()
{
    Clear();
    gfx::detail::Hooks::Get().recorder.store(&TheRecord(), std::memory_order_release);
}

GfxCallRecord::~GfxCallRecord()
{
    gfx::detail::Hooks::Get().recorder.store(nullptr, std::memory_order_release);
    Clear();
}

std::vector<GfxCall> GfxCallRecord::Calls() const
{
    Record& record = TheRecord();
    std::lock_guard lock(record.mutex);
    return record.calls;
}

std::vector<gfx::RecordedDraw> GfxCallRecord::Draws() const
{
    Record& record = TheRecord();
    std::lock_guard lock(record.mutex);
    return record.draws;
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
    Record& record = TheRecord();
    std::lock_guard lock(record.mutex);
    record.calls.clear();
    record.draws.clear();
}

} // namespace platform::testing
