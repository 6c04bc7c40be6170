#include "testing/dialog_hooks.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "platform/window/beep.h"
#include "platform/window/clipboard.h"
#include "platform/window/string_table.h"

namespace platform::testing {

SystemMetricsAs::SystemMetricsAs(const detail::SystemMetricsValues& values) : saved_(detail::TheSystemMetrics())
{
    detail::TheSystemMetrics() = values;
}

SystemMetricsAs::~SystemMetricsAs()
{
    detail::TheSystemMetrics() = saved_;
}

StringTableAs::StringTableAs(std::map<uint32_t, std::string> strings)
{
    detail::TheStringTable() = std::move(strings);
}

StringTableAs::~StringTableAs()
{
    detail::TheStringTable().clear();
}

std::vector<uint32_t> TakeBeeps()
{
    return std::exchange(detail::ThreadBeeps(), {});
}

std::optional<HelpRequest> TakeHelpRequest()
{
    return std::exchange(detail::ThreadLastHelpRequest(), std::nullopt);
}

void FailNextClipboardOpen()
{
    detail::TheClipboardFailures().failNextOpen = true;
}

void FailNextClipboardText()
{
    detail::TheClipboardFailures().failNextText = true;
}

bool ClipboardIsOpen()
{
    return detail::ClipboardOpen();
}

ConfigFolder::ConfigFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zandrel-config-XXXXXX").string();
    if (char* made = ::mkdtemp(pattern.data()))
        path_ = made;
    if (const char* old = std::getenv("XDG_CONFIG_HOME"))
        saved_ = old;
    ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
}

ConfigFolder::~ConfigFolder()
{
    if (saved_)
        ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::error_code error;
    if (!path_.empty())
        std::filesystem::remove_all(path_, error);
}

} // namespace platform::testing
