#pragma once
// Shared by the effect tests: the fixture folder and a file reader over it.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/gfx/fx/effect_preprocessor.h"

namespace effect_test {

inline std::string FixtureDir() { return std::string(ZANDREL_SOURCE_DIR) + "/tests/platform/gfx/fx/fixtures/effects/"; }

inline bool ReadFile(const std::string& path, std::string& contents)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

inline std::string Fixture(const std::string& name)
{
    std::string text;
    ReadFile(FixtureDir() + name, text);
    return text;
}

inline gfx::EffectFileReader FileReader()
{
    return [](const std::string& path, size_t limit, std::string& contents) {
        if (!ReadFile(path, contents))
            return std::string("no such file");
        contents.resize(std::min(contents.size(), limit));
        return std::string();
    };
}

} // namespace effect_test
