#include "platform/window/string_table.h"

namespace platform {

namespace detail {
std::map<uint32_t, std::string>& TheStringTable()
{
    static std::map<uint32_t, std::string> table;
    return table;
}
} // namespace detail

std::string LoadString(Instance*, uint32_t id, size_t maxChars)
{
    const auto& table = detail::TheStringTable();
    auto found = table.find(id);
    return found == table.end() ? std::string() : found->second.substr(0, maxChars);
}

} // namespace platform
