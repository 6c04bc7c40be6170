#pragma once
// Test hooks around dialogs: other system figures, a string table, the sounds
// rung, the last help request, clipboard failures, and a configuration folder
// of the test's own for the registry file.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/help.h"
#include "platform/window/system_metrics.h"

namespace platform::testing {

// While alive, the system figures are `values` (screen, icon, base units, version).
class SystemMetricsAs {
public:
    explicit SystemMetricsAs(const detail::SystemMetricsValues& values);
    ~SystemMetricsAs();
    SystemMetricsAs(const SystemMetricsAs&) = delete;
    SystemMetricsAs& operator=(const SystemMetricsAs&) = delete;

private:
    detail::SystemMetricsValues saved_;
};

// While alive, string tables answer from `strings`.
class StringTableAs {
public:
    explicit StringTableAs(std::map<uint32_t, std::string> strings);
    ~StringTableAs();
    StringTableAs(const StringTableAs&) = delete;
    StringTableAs& operator=(const StringTableAs&) = delete;
};

// The sounds this thread rang since the last call, oldest first.
std::vector<uint32_t> TakeBeeps();
// The last help request of this thread, and forgets it.
std::optional<HelpRequest> TakeHelpRequest();

void FailNextClipboardOpen();
void FailNextClipboardText();
bool ClipboardIsOpen();

// While alive, $XDG_CONFIG_HOME is a fresh folder of its own, removed afterwards.
class ConfigFolder {
public:
    ConfigFolder();
    ~ConfigFolder();
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::optional<std::string> saved_;
};

} // namespace platform::testing
