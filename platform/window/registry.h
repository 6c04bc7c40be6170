#pragma once
// The registry of the current user: keys named by backslash paths, holding
// typed values. Kept in the file "zandrel/registry" of the user's configuration
// folder ($XDG_CONFIG_HOME, or ~/.config), read afresh at every call and
// replaced whole at every write, so that other runs see what one run stored.
// Key paths and value names compare without regard to case.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t kRegistryDword = 4;

struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const RegistryValue&) const = default;
};

bool RegistryKeyExists(const std::string& path);
// Nullopt when the key or the value is missing.
std::optional<RegistryValue> RegistryQueryValue(const std::string& path, const std::string& name);
// Creates the key when needed; false when the file cannot be written.
bool RegistrySetValue(const std::string& path, const std::string& name, const RegistryValue& value);
// The file the registry lives in ("" when neither folder is known).
std::string RegistryFilePath();

namespace detail {
struct RegistryKeyData {
    std::string path;
    std::map<std::string, std::pair<std::string, RegistryValue>> values; // by lower-case name
};
using RegistryKeys = std::map<std::string, RegistryKeyData>; // by lower-case path
// The file's text and back; lines that cannot be read are skipped.
RegistryKeys ParseRegistryText(std::string_view text);
std::string RegistryText(const RegistryKeys& keys);
} // namespace detail

} // namespace platform
