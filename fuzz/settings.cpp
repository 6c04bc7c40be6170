// Any bytes as a settings file: parsing and every typed lookup must hold up.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernel/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Settings settings;
    settings.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
    // Summed without sign, so a value at the end of int cannot overflow here.
    volatile uint32_t sink = static_cast<uint32_t>(settings.GetInt("Graphics", "width"));
    sink = sink + (settings.GetBool("net", "async") ? 1u : 0u);
    sink = sink + static_cast<uint32_t>(settings.GetFloat("Graphics", "stereoConvergence") != 0.0f);
    sink = sink + static_cast<uint32_t>(settings.GetString("", "").size());
    sink = sink + static_cast<uint32_t>(settings.GetString("a", "b").size());
    (void)sink;
    return 0;
}
