#include "kernel/settings.h"

#include <ini.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>

#include "kernel/error_stream.h"

namespace {

constexpr int kLineBuffer = 200;

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string JoinedKey(std::string_view section, std::string_view key)
{
    return Lower(section) + "." + Lower(key);
}

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The parser's own scan: stops at one of `chars` (any when null), at a ';' that
// follows a blank, or at the end of the text.
size_t FindCharsOrComment(const std::string& s, size_t from, const char* chars)
{
    bool wasBlank = false;
    size_t i = from;
    while (i < s.size() && s[i] != '\0' && !(chars && std::strchr(chars, s[i])) && !(wasBlank && s[i] == ';')) {
        wasBlank = IsBlank(s[i]);
        ++i;
    }
    return i;
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// inih (as installed) also splits at ':' and joins repeated keys; our callback
// keeps "=" as the only separator and lets the last value win. It sees every line
// the reader hands over, so it can tell what inih did from the raw text.
struct ParseState {
    Settings* settings = nullptr;
    std::string_view input;
    size_t pos = 0;
    int lineNo = 0;

    const char* lineBuffer = nullptr; // inih's line buffer, filled by Reader
    size_t lineCapacity = 0;
    std::string raw;                  // the current line as handed to inih, up to its first NUL
    size_t lineStart = 0;             // past a byte-order mark on the first line

    bool inihHasKey = false;          // inih would take a blank-led line as a continuation
    std::string lastKey;              // the key a continuation replaces ("" after a section)
};

// A key line with "=" as the only separator, from `start` in the raw line.
bool ParseKeyLine(ParseState& state, const char* section, size_t start)
{
    const std::string& raw = state.raw;
    size_t eq = FindCharsOrComment(raw, start, "=");
    if (eq >= raw.size() || raw[eq] != '=')
        return false;
    std::string_view name = Trimmed(std::string_view(raw).substr(start, eq - start));
    size_t valueEnd = FindCharsOrComment(raw, eq + 1, nullptr);
    std::string_view value = Trimmed(std::string_view(raw).substr(eq + 1, valueEnd - eq - 1));
    state.settings->Set(section, name, value);
    state.lastKey = std::string(name);
    return true;
}

char* Reader(char* str, int num, void* stream)
{
    auto& state = *static_cast<ParseState*>(stream);
    if (state.pos >= state.input.size() || num <= 1)
        return nullptr;
    size_t n = 0;
    const size_t limit = static_cast<size_t>(num - 1);
    while (n < limit && state.pos < state.input.size()) {
        char c = state.input[state.pos++];
        str[n++] = c;
        if (c == '\n')
            break;
    }
    str[n] = '\0';
    ++state.lineNo;
    state.lineBuffer = str;
    state.lineCapacity = static_cast<size_t>(num);
    state.raw.assign(str, std::strlen(str));
    state.lineStart = 0;
    if (state.lineNo == 1 && state.raw.size() >= 3 && state.raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        state.lineStart = 3;

    // A section line clears the key that continuations replace, as inih does.
    size_t start = state.lineStart;
    while (start < state.raw.size() && IsBlank(state.raw[start]))
        ++start;
    const bool comment = start >= state.raw.size() || state.raw[start] == ';' || state.raw[start] == '#';
    const bool continuation = !comment && state.inihHasKey && start > 0;
    if (!comment && !continuation && state.raw[start] == '[') {
        size_t end = FindCharsOrComment(state.raw, start + 1, "]");
        if (end < state.raw.size() && state.raw[end] == ']') {
            state.inihHasKey = false;
            state.lastKey.clear();
        }
    }
    return str;
}

int Handler(void* user, const char* section, const char* name, const char* value)
{
    auto& state = *static_cast<ParseState*>(user);
    const bool keyLine = name >= state.lineBuffer && name < state.lineBuffer + state.lineCapacity;
    if (keyLine) {
        state.inihHasKey = true;
        const size_t nameAt = static_cast<size_t>(name - state.lineBuffer);
        size_t sep = nameAt + std::strlen(name);
        while (sep < state.raw.size() && IsBlank(state.raw[sep]))
            ++sep;
        if (sep < state.raw.size() && state.raw[sep] == '=') {
            state.settings->Set(section, name, value);
            state.lastKey = name;
            return 1;
        }
        // inih split at ':': read the line again with "=" alone.
        return ParseKeyLine(state, section, nameAt) ? 1 : 0;
    }
    // A blank-led line after a key: its text replaces that key's value.
    if (!state.lastKey.empty()) {
        state.settings->Set(section, state.lastKey, value);
        return 1;
    }
    // inih continued a key we refused; without it the line is a key line.
    size_t start = state.lineStart;
    while (start < state.raw.size() && IsBlank(state.raw[start]))
        ++start;
    if (start < state.raw.size() && state.raw[start] == '[')
        return 0;
    return ParseKeyLine(state, section, start) ? 1 : 0;
}

// inih's behaviour is configurable at run time; pin the rules we rely on.
std::mutex& ParserLock()
{
    static std::mutex lock;
    return lock;
}

void PinParserRules()
{
    ini_use_stack = true;
    ini_max_line = kLineBuffer;
    ini_allow_realloc = false;
    ini_allow_multiline = true;
    ini_allow_bom = true;
    ini_allow_inline_comments = true;
    ini_stop_on_first_error = false;
    ini_allow_no_value = false;
}

std::unique_ptr<Settings>& SettingsSlot()
{
    static std::unique_ptr<Settings> settings;
    return settings;
}

std::mutex& SlotLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

int Settings::LoadText(std::string_view text)
{
    std::lock_guard guard(ParserLock());
    PinParserRules();
    ParseState state;
    state.settings = this;
    state.input = text;
    return ini_parse_stream(Reader, &state, Handler, &state);
}

int Settings::LoadFile(const std::string& path)
{
    // Only a regular file can be settings: a folder, a device or a pipe of that
    // name would fail to read or never end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return kNotOpened;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return kNotOpened;
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return kNotOpened;
    return LoadText(text);
}

void Settings::Set(std::string_view section, std::string_view key, std::string_view value)
{
    values_[JoinedKey(section, key)] = std::string(value);
}

const std::string* Settings::Find(const std::string& section, const std::string& key) const
{
    auto it = values_.find(JoinedKey(section, key));
    return it == values_.end() ? nullptr : &it->second;
}

int Settings::GetInt(const std::string& section, const std::string& key) const
{
    const std::string* value = Find(section, key);
    if (!value)
        return 0;
    long long n = std::strtoll(value->c_str(), nullptr, 0);
    // The file's numbers are 32-bit whatever the width of long here.
    if (n > INT_MAX)
        return INT_MAX;
    if (n < INT_MIN)
        return INT_MIN;
    return static_cast<int>(n);
}

bool Settings::GetBool(const std::string& section, const std::string& key) const
{
    return GetInt(section, key) != 0;
}

float Settings::GetFloat(const std::string& section, const std::string& key) const
{
    const std::string* value = Find(section, key);
    float f = 0.0f;
    if (!value || std::sscanf(value->c_str(), "%f", &f) != 1)
        return 0.0f;
    return f;
}

std::string Settings::GetString(const std::string& section, const std::string& key) const
{
    const std::string* value = Find(section, key);
    return value ? *value : std::string();
}

std::vector<std::string> Settings::KeysOf(const std::string& section) const
{
    const std::string prefix = Lower(section) + ".";
    std::vector<std::string> keys;
    for (const auto& entry : values_)
        if (entry.first.compare(0, prefix.size(), prefix) == 0)
            keys.push_back(entry.first.substr(prefix.size()));
    return keys;
}

Settings& GetSettings()
{
    std::lock_guard guard(SlotLock());
    auto& slot = SettingsSlot();
    if (!slot) {
        slot = std::make_unique<Settings>();
        if (slot->LoadFile("settings.ini") == Settings::kNotOpened) {
            errorTwoLines = false;
            GetErrorStream() << "Settings.ini not found.\n";
        } else {
            std::cout << "Settings.ini loaded\n";
        }
    }
    return *slot;
}

void ReleaseSettings()
{
    std::lock_guard guard(SlotLock());
    SettingsSlot().reset();
}
