#include "platform/os/cpu.h"

namespace platform::os {

namespace detail {
std::optional<bool>& ProcessorFeatureOverride()
{
    static std::optional<bool> answer;
    return answer;
}
} // namespace detail

bool HasProcessorFeature(int feature)
{
    if (const auto& answer = detail::ProcessorFeatureOverride())
        return *answer;
    switch (feature) {
    case kFeatureSse2:
#if defined(__x86_64__) || defined(__i386__)
        return __builtin_cpu_supports("sse2");
#else
        return false;
#endif
    default:
        return false;
    }
}

} // namespace platform::os
