#include "platform/window/keyboard_state.h"

#include <array>
#include <atomic>

namespace platform {

namespace {
std::array<std::atomic<bool>, 256> keysDown{};
}

bool IsKeyDown(int virtualKey)
{
    return virtualKey >= 0 && virtualKey < 256 && keysDown[static_cast<size_t>(virtualKey)].load();
}

namespace detail {
void SetKeyDown(int virtualKey, bool down)
{
    if (virtualKey >= 0 && virtualKey < 256)
        keysDown[static_cast<size_t>(virtualKey)].store(down);
}
} // namespace detail

} // namespace platform
