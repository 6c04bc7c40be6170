#include "platform/window/help.h"

namespace platform {

bool ShowHelp(Window*, const std::string& path, uint32_t command, uintptr_t data)
{
    detail::ThreadLastHelpRequest() = HelpRequest{path, command, data};
    return true;
}

namespace detail {
std::optional<HelpRequest>& ThreadLastHelpRequest()
{
    thread_local std::optional<HelpRequest> last;
    return last;
}
} // namespace detail

} // namespace platform
