#pragma once
// Test hook: the adapter as a test wants it — lowered capabilities, fewer
// multisample types or quality levels, no alpha-to-coverage, no queries, queries
// that stay pending, a different video-memory total. Restored on destruction.
#include <cstdint>
#include <functional>

#include "platform/gfx/device/caps.h"
#include "platform/gfx/device/hooks.h"

namespace platform::testing {

class GfxAdapterSettings {
public:
    GfxAdapterSettings();  // starts from the default, capable adapter
    ~GfxAdapterSettings(); // back to the default adapter
    GfxAdapterSettings(const GfxAdapterSettings&) = delete;
    GfxAdapterSettings& operator=(const GfxAdapterSettings&) = delete;

    void ChangeCaps(const std::function<void(gfx::Caps&)>& change);
    void SetMultisample(uint32_t maxSampleType, uint32_t qualityLevels);
    void SetAlphaToCoverage(bool supported);
    void SetQueries(bool events, bool occlusion);
    void SetQueryPendingPolls(uint32_t polls);
    void SetVideoMemoryTotal(uint64_t bytes);

private:
    void Change(const std::function<void(gfx::detail::AdapterConfig&)>& change);
};

} // namespace platform::testing
