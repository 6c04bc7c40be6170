#pragma once
// A count or size from the settings, held to the range the program can use.
// A value outside it shows the error box naming the section, the key and the
// value as written; after "Continue Anyway" the nearest end of the range is
// used and kept in the settings, so every later reader gets that one and the
// box comes once.
#include <string>
#include <string_view>

class Settings;

// `unit` names what is counted ("instances", "blocks"), for the box.
int GetBoundedInt(Settings& settings, const char* section, const char* key, int lowest, int highest,
                  std::string_view unit);

// A setting as messages name it: "[section] key=value" with the value as the
// file has it (cut short when long), or "[section] key (not set)".
std::string DescribeSetting(const Settings& settings, const char* section, const char* key);
