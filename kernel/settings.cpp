#include "kernel/settings.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
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
// Stands in for ':' before a line's first '=', so that inih (which also splits at
// ':') splits at '=' alone. Any byte that is neither blank nor special to inih
// will do: the handler reads names and values back from the line as it was.
constexpr char kColonStandIn = '_';

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

// inih parses every line once; the reader and the handler make its rules ours:
// "=" is the only separator, the last value of a key wins, and a continuation
// line replaces the value.
struct ParseState {
    Settings* settings = nullptr;
    std::string_view input;
    size_t pos = 0;
    // The first byte after the line being handed over (after its '\n'): a long
    // line goes in pieces, and finding its end once per line instead of once
    // per piece keeps reading linear in the input's size.
    size_t nextLine = 0;
    const char* buffer = nullptr; // inih's line buffer, as the reader last filled it
    std::string line;             // that line before the stand-ins went in
    std::string lastKey;          // the key a continuation line replaces
};

// Reads one line as fgets would and hides its ':' up to the first '='. A line
// that opens with '[' keeps them: inih never splits it, and copies a section's
// name out of the buffer where it could not be read back.
char* Reader(char* str, int num, void* stream)
{
    auto& state = *static_cast<ParseState*>(stream);
    if (state.pos >= state.input.size() || num <= 1)
        return nullptr;
    const size_t from = state.pos;
    if (from >= state.nextLine)
        state.nextLine = std::min(state.input.find('\n', from), state.input.size() - 1) + 1;
    const size_t n = std::min(state.nextLine - from, static_cast<size_t>(num - 1));
    state.line.assign(state.input.substr(from, n));
    state.pos += n;
    std::memcpy(str, state.line.data(), n);
    str[n] = '\0';
    state.buffer = str;

    size_t i = from == 0 && state.line.starts_with("\xEF\xBB\xBF") ? 3 : 0; // inih skips the mark
    while (i < n && std::isspace(static_cast<unsigned char>(str[i])))
        ++i;
    if (i < n && str[i] == '[')
        return str;
    for (; i < n && str[i] != '='; ++i)
        if (str[i] == ':')
            str[i] = kColonStandIn;
    return str;
}

// inih hands over names and values that lie in its line buffer; read them back
// from the line as it was.
std::string_view Original(const ParseState& state, const char* text)
{
    return std::string_view(state.line).substr(static_cast<size_t>(text - state.buffer), std::strlen(text));
}

int Handler(void* user, const char* section, const char* name, const char* value)
{
    auto& state = *static_cast<ParseState*>(user);
    // A continuation line comes with inih's copy of the last key's name, which
    // lies outside the line buffer.
    const auto at = reinterpret_cast<uintptr_t>(name);
    const auto buffer = reinterpret_cast<uintptr_t>(state.buffer);
    if (at >= buffer && at < buffer + state.line.size())
        state.lastKey = Original(state, name);
    state.settings->Set(section, state.lastKey, Original(state, value));
    return 1;
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
