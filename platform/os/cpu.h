#pragma once
// The processor feature test.
#include <optional>

namespace platform::os {

// Feature numbers as the system asks for them.
inline constexpr int kFeatureSse2 = 10;

bool HasProcessorFeature(int feature);

namespace detail {
// When set, the answer for every feature (tests of a processor without SSE2).
std::optional<bool>& ProcessorFeatureOverride();
} // namespace detail

} // namespace platform::os
