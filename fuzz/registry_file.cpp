// Reads arbitrary bytes as the registry file and writes the result back: the
// written text must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/window/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto keys = platform::detail::ParseRegistryText(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string text = platform::detail::RegistryText(keys);
    if (platform::detail::RegistryText(platform::detail::ParseRegistryText(text)) != text)
        std::abort();
    return 0;
}
