// The folders are layers: platform < ui < kernel < script < scene < render <
// {demo, net} < app, and tools/ may use platform/ and kernel/. Every quoted
// include of the product is read and checked against that order, so an upward
// include fails the suite instead of quietly tying two layers together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The product's folders, lowest first; demo and net share a layer.
const std::map<std::string, int>& LayerRanks()
{
    static const std::map<std::string, int> ranks = {
        {"platform", 0}, {"ui", 1}, {"kernel", 2}, {"script", 3}, {"scene", 4},
        {"render", 5},   {"demo", 6}, {"net", 6},  {"app", 7},
    };
    return ranks;
}

const std::vector<std::string> kToolFolders = {"platform", "kernel"};

// The data tool writes the demonstration's files at build time through the
// engine's own scene, mesh and material writers, so files and readers cannot
// drift: it may use every layer but app. The system never runs it.
const std::string kDataTool = "tools/makedata";

bool IsProductFolder(const std::string& folder)
{
    return folder == "tools" || LayerRanks().count(folder) != 0;
}

// Whether a file of folder `from` may include a header of folder `to`.
bool MayInclude(const std::string& from, const std::string& to)
{
    if (from == to)
        return true;
    if (from == kDataTool)
        return to == "tools" || (LayerRanks().count(to) != 0 && to != "app");
    if (from == "tools")
        return std::find(kToolFolders.begin(), kToolFolders.end(), to) != kToolFolders.end();
    const auto& ranks = LayerRanks();
    const auto fromRank = ranks.find(from);
    const auto toRank = ranks.find(to);
    if (fromRank == ranks.end() || toRank == ranks.end())
        return false; // tools/, tests/ or anything else is never included by a layer
    return toRank->second < fromRank->second;
}

// The folders `from` may include, for the failure message.
std::string AllowedBelow(const std::string& from)
{
    std::string text;
    for (const char* folder : {"platform", "ui", "kernel", "script", "scene", "render", "demo", "net", "app"}) {
        if (from != folder && MayInclude(from, folder))
            text += (text.empty() ? "" : ", ") + std::string(folder);
    }
    return text.empty() ? "nothing outside itself" : text;
}

// The product folder an include names: its first path segment, or, for a
// path relative to the includer ("../render/mesh.h", "mesh.h"), the folder
// of the file it reaches. None for an outside library's header.
std::optional<std::string> IncludedFolder(const fs::path& root, const fs::path& includer, const std::string& path)
{
    const auto slash = path.find('/');
    if (slash != std::string::npos) {
        const std::string first = path.substr(0, slash);
        if (IsProductFolder(first) || first == "tests")
            return first;
    }
    const fs::path reached = fs::relative((includer.parent_path() / path).lexically_normal(), root);
    if (!fs::exists(root / reached) || reached.empty() || *reached.begin() == "..")
        return std::nullopt;
    const std::string first = reached.begin()->string();
    if (IsProductFolder(first) || first == "tests")
        return first;
    return std::nullopt;
}

struct Violation {
    std::string file;
    int line = 0;
    std::string included;
};

std::vector<Violation> ViolationsIn(const fs::path& root, const std::string& folder, size_t& filesRead)
{
    static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<Violation> found;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".hpp" && ext != ".inl"))
            continue;
        ++filesRead;
        std::ifstream in(entry.path());
        std::string text;
        int number = 0;
        while (std::getline(in, text)) {
            ++number;
            std::smatch match;
            if (!std::regex_search(text, match, include))
                continue;
            const std::string path = match[1];
            const auto to = IncludedFolder(root, entry.path(), path);
            const std::string relative = fs::relative(entry.path(), root).generic_string();
            const std::string from = relative.rfind(kDataTool + "/", 0) == 0 ? kDataTool : folder;
            if (to && !MayInclude(from, *to))
                found.push_back({fs::relative(entry.path(), root).string(), number, path});
        }
    }
    return found;
}

} // namespace

TEST(Layering, TheOrderItself)
{
    struct Case {
        const char* from;
        const char* to;
        bool allowed;
    };
    const Case cases[] = {
        {"ui", "platform", true},     {"platform", "ui", false},   {"kernel", "ui", true},
        {"ui", "kernel", false},      {"script", "kernel", true},  {"kernel", "script", false},
        {"scene", "script", true},    {"script", "scene", false},  {"render", "scene", true},
        {"scene", "render", false},   {"demo", "render", true},    {"net", "render", true},
        {"demo", "net", false},       {"net", "demo", false},      {"app", "demo", true},
        {"app", "net", true},         {"app", "platform", true},   {"demo", "app", false},
        {"kernel", "app", false},     {"render", "render", true},  {"tools", "platform", true},
        {"tools", "kernel", true},    {"tools", "ui", false},      {"tools", "script", false},
        {"tools", "render", false},   {"kernel", "tools", false},  {"app", "tools", false},
        {"platform", "tests", false}, {"app", "tests", false},
        {"tools/makedata", "render", true}, {"tools/makedata", "demo", true},
        {"tools/makedata", "tools", true},  {"tools/makedata", "app", false},
        {"tools/makedata", "tests", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MayInclude(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
}

TEST(Layering, NoIncludeRunsAgainstTheOrder)
{
    const fs::path root = ZANDREL_SOURCE_DIR;
    size_t filesRead = 0;
    std::vector<Violation> violations;
    for (const char* folder : {"platform", "ui", "kernel", "script", "scene", "render", "demo", "net", "app", "tools"}) {
        ASSERT_TRUE(fs::is_directory(root / folder)) << folder;
        const auto found = ViolationsIn(root, folder, filesRead);
        violations.insert(violations.end(), found.begin(), found.end());
    }
    EXPECT_GT(filesRead, 100u); // the product was found and read

    std::ostringstream report;
    for (const Violation& v : violations) {
        const std::string from = v.file.substr(0, v.file.find('/'));
        report << v.file << ":" << v.line << ": includes \"" << v.included << "\"; " << from << "/ may include "
               << AllowedBelow(from) << "\n";
    }
    EXPECT_TRUE(violations.empty()) << "Includes against the layer order:\n" << report.str();
}
