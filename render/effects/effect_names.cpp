#include "render/effects/effect_names.h"

#include "kernel/rs_hash.h"

std::string EffectBaseName(std::string_view fileName)
{
    constexpr std::string_view kExtension = ".fx";
    if (fileName.size() >= kExtension.size() && fileName.substr(fileName.size() - kExtension.size()) == kExtension)
        fileName.remove_suffix(kExtension.size());
    return std::string(fileName);
}

std::vector<std::string> EnabledDefineNames(const EffectDefineFlags& flags)
{
    std::vector<std::string> names;
    for (const auto& [name, enabled] : flags) {
        if (enabled)
            names.push_back(name);
    }
    return names;
}

std::string EffectVariantKey(const EffectDefineFlags& flags)
{
    std::string key;
    for (const auto& [name, enabled] : flags) {
        if (enabled)
            key += name;
    }
    return key;
}

uint32_t EffectVariantId(std::string_view key) { return RSHash(key); }

std::string EffectDefineText(const EffectDefineFlags& flags)
{
    std::string text;
    for (const auto& [name, enabled] : flags) {
        if (enabled)
            text += " /D " + name + "=1 ";
    }
    return text;
}

std::string EffectVariantExtension(uint32_t variantId)
{
    // Ids are RSHash values, never above 0x7FFFFFFF, so this is the "%d" text.
    return std::to_string(static_cast<int32_t>(variantId)) + ".fx";
}

std::string CompiledEffectPath(std::string_view baseName, std::string_view extension)
{
    std::string path = kCompiledEffectFolder;
    path += baseName;
    path += extension;
    path += 'o';
    return path;
}

std::string EffectCompilerParameters(std::string_view currentDir, std::string_view compiledPath,
                                     std::string_view defineText, std::string_view sourceName)
{
    std::string text = " /T fx_2_0 /O3 /Fo \"";
    // The run folder may hold a double quote: written \" (with the backslashes
    // before it doubled), it stays part of the one quoted path.
    std::string path(currentDir);
    path += compiledPath;
    size_t backslashes = 0;
    for (char c : path) {
        if (c == '"') {
            text.append(backslashes + 1, '\\');
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        text += c;
    }
    text.append(backslashes, '\\');
    text += '"';
    text += defineText;
    text += ' ';
    text += sourceName;
    return text;
}

bool FitsEffectCommandLine(std::string_view text)
{
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}
