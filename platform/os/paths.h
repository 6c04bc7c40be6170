#pragma once
// The process's current directory and the executable's path.
#include <optional>
#include <string>

namespace platform::os {

// The current directory, whatever its length; nullopt when it cannot be read.
std::optional<std::string> CurrentDirectory();
bool SetCurrentDirectory(const std::string& path);
// The full path of the running executable ("" when unknown).
std::string ExecutablePath();

namespace detail {
// When set, ExecutablePath returns it (tests of paths without a separator).
std::optional<std::string>& ExecutablePathOverride();
} // namespace detail

} // namespace platform::os
