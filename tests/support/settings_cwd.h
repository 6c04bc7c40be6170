#pragma once
// A current folder of its own holding a settings.ini with the given text, read
// at once (its "Settings.ini loaded" line swallowed); the settings are
// released again when the object goes.
#include <string>

#include "kernel/settings.h"
#include "testing/test_files.h"

namespace zandrel_test {

class SettingsCwd {
public:
    explicit SettingsCwd(const std::string& text = "")
    {
        folder_.Write("settings.ini", text);
        ReleaseSettings();
        CoutCapture quiet;
        GetSettings();
    }
    ~SettingsCwd() { ReleaseSettings(); }
    SettingsCwd(const SettingsCwd&) = delete;
    SettingsCwd& operator=(const SettingsCwd&) = delete;

private:
    TempCwd folder_{"zandrel-settings"};
};

} // namespace zandrel_test
