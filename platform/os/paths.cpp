#include "platform/os/paths.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace platform::os {

namespace detail {
std::optional<std::string>& ExecutablePathOverride()
{
    static std::optional<std::string> path;
    return path;
}
} // namespace detail

std::optional<std::string> CurrentDirectory()
{
    std::vector<char> buffer(256);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return std::string(buffer.data());
        if (errno != ERANGE)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

bool SetCurrentDirectory(const std::string& path)
{
    return ::chdir(path.c_str()) == 0;
}

std::string ExecutablePath()
{
    if (const auto& path = detail::ExecutablePathOverride())
        return *path;
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform::os
