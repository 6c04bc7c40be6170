// Any bytes as a settings file: parsing and every typed lookup must hold up.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernel/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Settings settings;
    settings.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
    volatile int sink = settings.GetInt("Graphics", "width");
    sink = sink + settings.GetBool("net", "async");
    sink = sink + static_cast<int>(settings.GetFloat("Graphics", "stereoConvergence"));
    sink = sink + static_cast<int>(settings.GetString("", "").size());
    sink = sink + static_cast<int>(settings.GetString("a", "b").size());
    (void)sink;
    return 0;
}
