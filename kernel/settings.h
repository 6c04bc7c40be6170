#pragma once
// The parsed "settings.ini" of the current directory, read once on first use.
// Every key is optional: an absent key reads as 0, false, 0.0 or "".
// Section and key match without regard to letter case.
//
// File rules: "[section]" lines; "name = value" with "=" as the only separator;
// ";" or "#" starts a comment line, and " ;" starts a comment inside a value; a
// line beginning with blanks right after a key replaces that key's value; a key
// given twice keeps its last value; lines are read 199 characters at a time, so
// the rest of a longer line counts as a line of its own.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Settings {
public:
    // The result of a parse: 0 when every line was well formed, the number of the
    // first malformed line otherwise, kNotOpened when the file could not be read.
    static constexpr int kNotOpened = -1;

    // Adds the pairs of the file at `path` (later values replace earlier ones).
    // kNotOpened when it is not a readable regular file (a folder, say).
    int LoadFile(const std::string& path);
    // Adds the pairs of INI text held in memory (may contain any bytes).
    int LoadText(std::string_view text);

    int GetInt(const std::string& section, const std::string& key) const;
    bool GetBool(const std::string& section, const std::string& key) const; // non-zero is true
    float GetFloat(const std::string& section, const std::string& key) const;
    std::string GetString(const std::string& section, const std::string& key) const;
    // True when the file sets the key.
    bool Has(const std::string& section, const std::string& key) const { return Find(section, key) != nullptr; }
    // The keys present in `section`, in lower case, in no particular order.
    std::vector<std::string> KeysOf(const std::string& section) const;

    // Stores one value as the parser does (used by the parser's callback).
    void Set(std::string_view section, std::string_view key, std::string_view value);

private:
    const std::string* Find(const std::string& section, const std::string& key) const;

    std::unordered_map<std::string, std::string> values_; // "section.key", lower case
};

// The settings of "settings.ini", loaded on the first call: "Settings.ini loaded"
// on standard output, or the error box "Settings.ini not found." after which
// every key reads as absent.
Settings& GetSettings();
// Destroys the settings; the next GetSettings reads the file again.
void ReleaseSettings();
