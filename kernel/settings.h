#pragma once
// The parsed "settings.ini" of the current directory, read once on first use.
// Every key is optional: an absent key reads as 0, false, 0.0 or "".
// Section and key match without regard to letter case.
#include <string>

class Settings {
public:
    virtual ~Settings() = default;
    virtual int GetInt(const std::string& section, const std::string& key) const = 0;
    virtual bool GetBool(const std::string& section, const std::string& key) const = 0; // non-zero is true
    virtual float GetFloat(const std::string& section, const std::string& key) const = 0;
    virtual std::string GetString(const std::string& section, const std::string& key) const = 0;
};

Settings& GetSettings();
void ReleaseSettings();
