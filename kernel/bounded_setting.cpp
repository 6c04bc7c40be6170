#include "kernel/bounded_setting.h"

#include "kernel/error_stream.h"
#include "kernel/settings.h"

std::string DescribeSetting(const Settings& settings, const char* section, const char* key)
{
    constexpr size_t kShown = 24;
    const std::string name = std::string("[") + section + "] " + key;
    if (!settings.Has(section, key))
        return name + " (not set)";
    std::string text = settings.GetString(section, key);
    if (text.size() > kShown)
        text = text.substr(0, kShown) + "...";
    return name + "=" + text;
}

int GetBoundedInt(Settings& settings, const char* section, const char* key, int lowest, int highest,
                  std::string_view unit)
{
    const int value = settings.GetInt(section, key);
    if (value >= lowest && value <= highest)
        return value;
    const int used = value < lowest ? lowest : highest;
    errorTwoLines = false;
    GetErrorStream() << DescribeSetting(settings, section, key) << " is out of range: " << std::to_string(lowest)
                     << " to " << std::to_string(highest) << " " << unit << ". Continue Anyway uses "
                     << std::to_string(used) << ".\n";
    settings.Set(section, key, std::to_string(used));
    return used;
}
