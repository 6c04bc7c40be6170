#pragma once
// The device's test seam. Every graphics call tells an installed recorder its
// name, arguments and result, and asks an installed injector whether to answer
// another result; the adapter's configuration (capabilities, multisampling,
// format and query support, video-memory total) is a capable card unless
// replaced. The test library (testing/) installs and sets them; the program
// installs nothing, and each check is then one atomic load.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/gfx/device/caps.h"
#include "platform/gfx/device/recorded_draw.h"
#include "platform/gfx/device/result.h"

namespace gfx::detail {

struct AdapterConfig {
    Caps caps;
    uint32_t maxSampleType = 8;      // highest multisample type that works
    uint32_t qualityLevels = 4;      // quality levels of every working type
    bool alphaToCoverage = true;     // the ATOC format check
    bool eventQueries = true;
    bool occlusionQueries = true;
    uint32_t queryPendingPolls = 0;  // GetData answers "not yet" this many times after an Issue
    uint64_t videoMemoryTotal = 512ull * 1024 * 1024;
};

// Hears every call, with its arguments and result, and every validated draw.
class CallRecorder {
public:
    virtual void Call(std::string_view name, std::initializer_list<uint64_t> args, Result result,
                      std::initializer_list<float> floats) = 0;
    virtual void Draw(RecordedDraw record) = 0;

protected:
    ~CallRecorder() = default;
};

// The result a call of `name` answers instead of its own, if any.
class ResultInjector {
public:
    virtual std::optional<Result> Take(std::string_view name) = 0;

protected:
    ~ResultInjector() = default;
};

class Hooks {
public:
    static Hooks& Get();

    // Null when none; an installed one lives as long as the process, since a
    // call on another thread may still reach it after it is taken out.
    std::atomic<CallRecorder*> recorder{nullptr};
    std::atomic<ResultInjector*> injector{nullptr};
    std::mutex mutex; // guards adapter and leakedAtLastDeviceRelease
    AdapterConfig adapter;
    uint32_t leakedAtLastDeviceRelease = 0;
    // Devices made from now on show drawn frames in a real window from memory
    // (read back) instead of through OpenGL.
    std::atomic<bool> windowFromMemory{false};
};

// The result injected for this call of `name`, if any.
std::optional<Result> TakeInjection(std::string_view name);

bool Recording();
void RecordCall(std::string_view name, std::initializer_list<uint64_t> args, Result result,
                std::initializer_list<float> floats = {});
void RecordDraw(RecordedDraw record);

// A copy of the adapter configuration, taken under the lock.
AdapterConfig Adapter();

template <class T>
uint64_t Arg(T* pointer)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

} // namespace gfx::detail
