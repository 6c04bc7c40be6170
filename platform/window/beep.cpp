#include "platform/window/beep.h"

#include <unistd.h>

namespace platform {

void MessageBeep(uint32_t type)
{
    // Only the latest are kept: a long run that shows many boxes must not grow.
    std::vector<uint32_t>& beeps = detail::ThreadBeeps();
    if (beeps.size() >= detail::kKeptBeeps)
        beeps.erase(beeps.begin());
    beeps.push_back(type);
    if (::isatty(STDERR_FILENO) == 1)
        (void)!::write(STDERR_FILENO, "\a", 1);
}

namespace detail {
std::vector<uint32_t>& ThreadBeeps()
{
    thread_local std::vector<uint32_t> beeps;
    return beeps;
}
} // namespace detail

} // namespace platform
