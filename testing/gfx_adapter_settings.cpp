#include "testing/gfx_adapter_settings.h"

#include <mutex>

namespace platform::testing {

using gfx::detail::Hooks;

GfxAdapterSettings::GfxAdapterSettings()
{
    Change([](gfx::detail::AdapterConfig& config) { config = gfx::detail::AdapterConfig{}; });
}

GfxAdapterSettings::~GfxAdapterSettings()
{
    Change([](gfx::detail::AdapterConfig& config) { config = gfx::detail::AdapterConfig{}; });
}

void GfxAdapterSettings::Change(const std::function<void(gfx::detail::AdapterConfig&)>& change)
{
    Hooks& hooks = Hooks::Get();
    std::lock_guard lock(hooks.mutex);
    change(hooks.adapter);
}

void GfxAdapterSettings::ChangeCaps(const std::function<void(gfx::Caps&)>& change)
{
    Change([&](gfx::detail::AdapterConfig& config) { change(config.caps); });
}

void GfxAdapterSettings::SetMultisample(uint32_t maxSampleType, uint32_t qualityLevels)
{
    Change([&](gfx::detail::AdapterConfig& config) {
        config.maxSampleType = maxSampleType;
        config.qualityLevels = qualityLevels;
    });
}

void GfxAdapterSettings::SetAlphaToCoverage(bool supported)
{
    Change([&](gfx::detail::AdapterConfig& config) { config.alphaToCoverage = supported; });
}

void GfxAdapterSettings::SetQueries(bool events, bool occlusion)
{
    Change([&](gfx::detail::AdapterConfig& config) {
        config.eventQueries = events;
        config.occlusionQueries = occlusion;
    });
}

void GfxAdapterSettings::SetQueryPendingPolls(uint32_t polls)
{
    Change([&](gfx::detail::AdapterConfig& config) { config.queryPendingPolls = polls; });
}

void GfxAdapterSettings::SetVideoMemoryTotal(uint64_t bytes)
{
    Change([&](gfx::detail::AdapterConfig& config) { config.videoMemoryTotal = bytes; });
}

} // namespace platform::testing
