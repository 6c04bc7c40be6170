#pragma once
// The help launcher: asks for a help file to be opened at a context or by a
// partial key. There is no help viewer here; the request is only kept.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

class Window;

inline constexpr uint32_t kHelpContext = 0x0001;
inline constexpr uint32_t kHelpPartialKey = 0x0105;

struct HelpRequest {
    std::string path;
    uint32_t command = 0;
    uintptr_t data = 0;
};

bool ShowHelp(Window* window, const std::string& path, uint32_t command, uintptr_t data);

namespace detail {
// The last request of this thread (tests).
std::optional<HelpRequest>& ThreadLastHelpRequest();
} // namespace detail

} // namespace platform
