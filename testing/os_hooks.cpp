#include "testing/os_hooks.h"

#include <mutex>

#include "platform/os/clock.h"
#include "platform/os/cpu.h"
#include "platform/os/paths.h"
#include "platform/os/random.h"

namespace platform::testing {

MillisecondClockBias::MillisecondClockBias(uint32_t bias)
    : saved_(os::detail::MillisecondClockBias().exchange(bias))
{
}

MillisecondClockBias::~MillisecondClockBias()
{
    os::detail::MillisecondClockBias().store(saved_);
}

namespace {
std::mutex sleepLock;
std::vector<uint32_t> sleepRequests;

void RecordSleep(uint32_t milliseconds)
{
    std::lock_guard guard(sleepLock);
    sleepRequests.push_back(milliseconds);
}
} // namespace

RecordedSleeps::RecordedSleeps()
{
    {
        std::lock_guard guard(sleepLock);
        sleepRequests.clear();
    }
    os::detail::SleepOverride().store(&RecordSleep, std::memory_order_release);
}

RecordedSleeps::~RecordedSleeps()
{
    os::detail::SleepOverride().store(nullptr, std::memory_order_release);
}

std::vector<uint32_t> RecordedSleeps::Requests() const
{
    std::lock_guard guard(sleepLock);
    return sleepRequests;
}

ExecutablePathAs::ExecutablePathAs(std::string path) : saved_(os::detail::ExecutablePathOverride())
{
    os::detail::ExecutablePathOverride() = std::move(path);
}

ExecutablePathAs::~ExecutablePathAs()
{
    os::detail::ExecutablePathOverride() = saved_;
}

ProcessorFeaturesAs::ProcessorFeaturesAs(bool present) : saved_(os::detail::ProcessorFeatureOverride())
{
    os::detail::ProcessorFeatureOverride() = present;
}

ProcessorFeaturesAs::~ProcessorFeaturesAs()
{
    os::detail::ProcessorFeatureOverride() = saved_;
}

void RestartRand()
{
    os::detail::ResetRand();
}

} // namespace platform::testing
