#pragma once
// The device's side of the test hooks: a record of calls and draws, results
// injected by call name, and the adapter's configuration (capabilities,
// multisampling, format and query support, video-memory total). Nothing in the
// engine uses this; platform/testing reads and sets it.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/device/caps.h"
#include "platform/gfx/device/recorded_draw.h"
#include "platform/gfx/device/result.h"

namespace gfx::detail {

struct CallEntry {
    std::string name;
    std::vector<uint64_t> args; // integers and pointers, in call order
    std::vector<float> floats;  // float arguments (clip planes, clear depth)
    Result result = kOk;
};

struct Injection {
    std::string name;
    Result result = kFail;
    uint32_t skip = 0;  // calls that pass before the first injected one
    uint32_t times = 1; // injected calls; 0 = every call from then on
};

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

class Hooks {
public:
    static Hooks& Get();

    std::mutex mutex;
    std::atomic<bool> recording{false};
    std::atomic<bool> anyInjection{false};
    std::vector<CallEntry> calls;
    std::vector<RecordedDraw> draws;
    std::vector<Injection> injections;
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
