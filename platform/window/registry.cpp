#include "platform/window/registry.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/os/file_replace.h"

namespace platform {

namespace {

std::mutex fileLock;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool NeedsEscape(unsigned char c)
{
    return c < 0x20 || c >= 0x7F || c == '%' || c == '[' || c == ']' || c == '=';
}

std::string Escape(const std::string& text)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (NeedsEscape(c)) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<std::vector<uint8_t>> Bytes(std::string_view hex)
{
    if (hex.size() % 2)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return bytes;
}

detail::RegistryKeys Load()
{
    const std::string path = RegistryFilePath();
    if (path.empty())
        return {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::stringstream text;
    text << in.rdbuf();
    return detail::ParseRegistryText(text.str());
}

bool Save(const detail::RegistryKeys& keys)
{
    const std::string path = RegistryFilePath();
    if (path.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    return ReplaceFileContents(path, detail::RegistryText(keys));
}

} // namespace

std::string RegistryFilePath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config)
        return std::string(config) + "/zandrel/registry";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::string(home) + "/.config/zandrel/registry";
    return {};
}

bool RegistryKeyExists(const std::string& path)
{
    std::lock_guard guard(fileLock);
    return Load().count(Lower(path)) != 0;
}

std::optional<RegistryValue> RegistryQueryValue(const std::string& path, const std::string& name)
{
    std::lock_guard guard(fileLock);
    const auto keys = Load();
    auto key = keys.find(Lower(path));
    if (key == keys.end())
        return std::nullopt;
    auto value = key->second.values.find(Lower(name));
    if (value == key->second.values.end())
        return std::nullopt;
    return value->second.second;
}

bool RegistrySetValue(const std::string& path, const std::string& name, const RegistryValue& value)
{
    std::lock_guard guard(fileLock);
    auto keys = Load();
    auto& key = keys[Lower(path)];
    if (key.path.empty())
        key.path = path;
    key.values[Lower(name)] = {name, value};
    return Save(keys);
}

namespace detail {

RegistryKeys ParseRegistryText(std::string_view text)
{
    RegistryKeys keys;
    RegistryKeyData* current = nullptr;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            auto path = Unescape(line.substr(1, line.size() - 2));
            current = nullptr;
            if (path && !path->empty()) {
                current = &keys[Lower(*path)];
                current->path = *path;
            }
            continue;
        }
        size_t equals = line.find('=');
        size_t colon = line.find(':', equals == std::string_view::npos ? line.size() : equals);
        if (!current || equals == std::string_view::npos || colon == std::string_view::npos)
            continue;
        auto name = Unescape(line.substr(0, equals));
        std::string_view typeText = line.substr(equals + 1, colon - equals - 1);
        auto bytes = Bytes(line.substr(colon + 1));
        if (!name || !bytes || typeText.empty() || typeText.size() > 10)
            continue;
        uint64_t type = 0;
        bool digits = true;
        for (char c : typeText) {
            digits = digits && c >= '0' && c <= '9';
            type = type * 10 + static_cast<uint64_t>(c - '0');
        }
        if (!digits || type > 0xFFFFFFFFu)
            continue;
        current->values[Lower(*name)] = {*name, RegistryValue{static_cast<uint32_t>(type), std::move(*bytes)}};
    }
    return keys;
}

std::string RegistryText(const RegistryKeys& keys)
{
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (const auto& [lower, key] : keys) {
        text += '[';
        text += Escape(key.path);
        text += "]\n";
        for (const auto& [lowerName, entry] : key.values) {
            text += Escape(entry.first);
            text += '=';
            text += std::to_string(entry.second.type);
            text += ':';
            for (uint8_t b : entry.second.bytes) {
                text += digits[b >> 4];
                text += digits[b & 15];
            }
            text += "\n";
        }
    }
    return text;
}

} // namespace detail

} // namespace platform
