// The folders are layers: platform < ui < kernel < script < scene < render <
// {demo, net} < app. Beside them: the programs of tools/ (the effect compiler
// fxc, which the system runs, uses only platform/ and kernel/; the data tool
// makedata, which the build runs, writes through every layer but app); the
// test library testing/, which may use every layer; and tests/, bench/ and
// fuzz/, which may use the product (the layers and tools/) and testing/.
// The product never includes testing/, tests/, bench/ or fuzz/; bench/ and
// fuzz/ never include tests/. Every include of a project header, quoted or in
// angle brackets, is read and checked against these rules, so an include
// against them fails the suite instead of quietly tying two folders together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The product's layers, lowest first; demo and net share a layer.
const std::map<std::string, int>& LayerRanks()
{
    static const std::map<std::string, int> ranks = {
        {"platform", 0}, {"ui", 1}, {"kernel", 2}, {"script", 3}, {"scene", 4},
        {"render", 5},   {"demo", 6}, {"net", 6},  {"app", 7},
    };
    return ranks;
}

const std::vector<std::string> kLayers = {"platform", "ui", "kernel", "script", "scene",
                                          "render",   "demo", "net",  "app"};

// Every folder whose files are checked, and whose headers an include may name.
const std::vector<std::string> kFolders = {"platform", "ui", "kernel", "script", "scene", "render", "demo", "net",
                                           "app",      "tools", "testing", "tests", "bench", "fuzz"};

// The data tool writes the demonstration's files at build time through the
// engine's own scene, mesh and material writers, so files and readers cannot
// drift: it may use every layer but app. The system never runs it.
const std::string kDataTool = "tools/makedata";

bool IsLayer(const std::string& folder)
{
    return LayerRanks().count(folder) != 0;
}

// tools/<name> is one program; "tools" alone a file directly in tools/.
bool IsTool(const std::string& folder)
{
    return folder == "tools" || folder.rfind("tools/", 0) == 0;
}

// Whether a file of `from` may include a header of `to`. Folders are a layer,
// "tools/<name>", "testing", "tests", "bench" or "fuzz".
bool MayInclude(const std::string& from, const std::string& to)
{
    if (from == to)
        return true;
    if (IsLayer(from))
        return IsLayer(to) && LayerRanks().at(to) < LayerRanks().at(from);
    if (from == kDataTool)
        return IsLayer(to) && to != "app";
    if (IsTool(from)) // the programs the system runs: the effect compiler
        return to == "platform" || to == "kernel";
    if (from == "testing")
        return IsLayer(to);
    if (from == "tests" || from == "bench" || from == "fuzz")
        return IsLayer(to) || IsTool(to) || to == "testing";
    return false;
}

// The folder of a path relative to the root ("kernel/file_system.h" is
// kernel, "tools/fxc/main.cpp" is tools/fxc); none outside the project's folders.
std::optional<std::string> FolderOf(const fs::path& relative)
{
    auto part = relative.begin();
    if (part == relative.end())
        return std::nullopt;
    const std::string first = part->string();
    if (std::find(kFolders.begin(), kFolders.end(), first) == kFolders.end())
        return std::nullopt;
    if (first == "tools" && ++part != relative.end() && std::next(part) != relative.end())
        return first + "/" + part->string();
    return first;
}

// The folder an include names. A path that starts with a project folder names
// it (in angle brackets only when the header is there: <net/if.h> is the
// system's); a quoted path relative to the includer ("../render/mesh.h",
// "mesh.h") names the folder of the file it reaches. None for an outside
// library's header.
std::optional<std::string> IncludedFolder(const fs::path& root, const fs::path& includer, const std::string& path,
                                          bool angle)
{
    const fs::path named = fs::path(path).lexically_normal();
    if (const auto folder = FolderOf(named); folder && (!angle || fs::exists(root / named)))
        return folder;
    if (angle)
        return std::nullopt;
    const fs::path reached = fs::relative((includer.parent_path() / path).lexically_normal(), root);
    if (reached.empty() || *reached.begin() == ".." || !fs::exists(root / reached))
        return std::nullopt;
    return FolderOf(reached);
}

// The folders `from` may include, for the failure message.
std::string AllowedFor(const std::string& from)
{
    std::vector<std::string> folders = kLayers;
    for (const char* other : {"tools/fxc", "tools/makedata", "testing", "tests", "bench", "fuzz"})
        folders.push_back(other);
    std::string text;
    for (const std::string& folder : folders) {
        if (from != folder && MayInclude(from, folder))
            text += (text.empty() ? "" : ", ") + folder;
    }
    return text.empty() ? "nothing outside itself" : text;
}

struct Violation {
    std::string file;
    int line = 0;
    std::string included;
    std::string from;
};

std::vector<Violation> ViolationsIn(const fs::path& root, const std::string& folder, size_t& filesRead)
{
    static const std::regex include(R"re(^\s*#\s*include\s*(["<])([^">]+)[">])re");
    std::vector<Violation> found;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".hpp" && ext != ".inl"))
            continue;
        ++filesRead;
        const fs::path relative = fs::relative(entry.path(), root);
        const std::string from = FolderOf(relative).value_or(folder);
        std::ifstream in(entry.path());
        std::string text;
        int number = 0;
        while (std::getline(in, text)) {
            ++number;
            std::smatch match;
            if (!std::regex_search(text, match, include))
                continue;
            const std::string path = match[2];
            const bool angle = match[1] == "<";
            const auto to = IncludedFolder(root, entry.path(), path, angle);
            if (to && !MayInclude(from, *to))
                found.push_back({relative.generic_string(), number, angle ? "<" + path + ">" : '"' + path + '"', from});
        }
    }
    return found;
}

// The effect framework, platform/gfx/fx, is in rooms in the order an effect's
// source travels through them; a room includes only itself and those before it.
const std::vector<std::string> kEffectRooms = {"syntax", "preprocessor", "expression", "parser",
                                               "rewrites", "hlsl",       "compiled",   "runtime"};

} // namespace

TEST(Layering, TheOrderItself)
{
    struct Case {
        const char* from;
        const char* to;
        bool allowed;
    };
    const Case cases[] = {
        // The layers.
        {"ui", "platform", true},     {"platform", "ui", false},   {"kernel", "ui", true},
        {"ui", "kernel", false},      {"script", "kernel", true},  {"kernel", "script", false},
        {"scene", "script", true},    {"script", "scene", false},  {"render", "scene", true},
        {"scene", "render", false},   {"demo", "render", true},    {"net", "render", true},
        {"demo", "net", false},       {"net", "demo", false},      {"app", "demo", true},
        {"app", "net", true},         {"app", "platform", true},   {"demo", "app", false},
        {"kernel", "app", false},     {"render", "render", true},
        // The tools.
        {"tools/fxc", "platform", true},    {"tools/fxc", "kernel", true},      {"tools/fxc", "ui", false},
        {"tools/fxc", "render", false},     {"tools/fxc", "tools/fxc", true},   {"tools/fxc", "tools/makedata", false},
        {"tools/makedata", "render", true}, {"tools/makedata", "demo", true},   {"tools/makedata", "app", false},
        {"tools/makedata", "tools/makedata", true},                             {"tools/makedata", "tools/fxc", false},
        {"kernel", "tools/fxc", false},     {"app", "tools/makedata", false},
        // The test library, tests, benchmarks and fuzz targets.
        {"testing", "platform", true}, {"testing", "app", true},    {"testing", "tools/makedata", false},
        {"testing", "tests", false},   {"testing", "bench", false}, {"tests", "testing", true},
        {"tests", "app", true},        {"tests", "tools/makedata", true},  {"tests", "bench", false},
        {"tests", "fuzz", false},      {"bench", "testing", true},  {"bench", "render", true},
        {"bench", "tests", false},     {"bench", "fuzz", false},    {"fuzz", "testing", true},
        {"fuzz", "net", true},         {"fuzz", "tests", false},    {"fuzz", "bench", false},
        // The product never reaches them.
        {"platform", "testing", false}, {"app", "testing", false},  {"tools/fxc", "testing", false},
        {"tools/makedata", "testing", false},                       {"platform", "tests", false},
        {"app", "tests", false},       {"tools/makedata", "tests", false}, {"render", "bench", false},
        {"app", "fuzz", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MayInclude(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
}

TEST(Layering, IncludesNameTheirFolder)
{
    const fs::path root = ZANDREL_SOURCE_DIR;
    const fs::path includer = root / "render" / "mesh.cpp";
    struct Case {
        const char* path;
        bool angle;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {"kernel/file_system.h", false, "kernel"},
        {"kernel/file_system.h", true, "kernel"},
        {"tools/fxc/main.cpp", false, "tools/fxc"},
        {"testing/os_hooks.h", true, "testing"},
        {"net/if.h", true, std::nullopt}, // the system's, not net/
        {"../demo/shadow_demo.h", false, "demo"},
        {"zmq.hpp", true, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IncludedFolder(root, includer, c.path, c.angle), c.folder) << c.path;
}

TEST(Layering, NoIncludeRunsAgainstTheOrder)
{
    const fs::path root = ZANDREL_SOURCE_DIR;
    size_t filesRead = 0;
    std::vector<Violation> violations;
    for (const std::string& folder : kFolders) {
        ASSERT_TRUE(fs::is_directory(root / folder)) << folder;
        const auto found = ViolationsIn(root, folder, filesRead);
        violations.insert(violations.end(), found.begin(), found.end());
    }
    EXPECT_GT(filesRead, 100u); // the sources were found and read

    std::ostringstream report;
    for (const Violation& v : violations)
        report << v.file << ":" << v.line << ": includes " << v.included << "; " << v.from << "/ may include "
               << AllowedFor(v.from) << "\n";
    EXPECT_TRUE(violations.empty()) << "Includes against the layer order:\n" << report.str();
}

TEST(Layering, EffectRoomsLookOnlyBack)
{
    const fs::path fx = fs::path(ZANDREL_SOURCE_DIR) / "platform/gfx/fx";
    static const std::regex include(R"re(^\s*#\s*include\s*"platform/gfx/fx/([^"]+)")re");
    std::ostringstream report;
    size_t filesRead = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fx)) {
        if (!entry.is_regular_file())
            continue;
        const fs::path relative = fs::relative(entry.path(), fx);
        if (relative == "README.md")
            continue; // the list of the rooms, beside them
        const auto from = std::find(kEffectRooms.begin(), kEffectRooms.end(), relative.begin()->string());
        if (from == kEffectRooms.end() || std::next(relative.begin()) == relative.end()) {
            report << relative.generic_string() << " lies in no room\n";
            continue;
        }
        ++filesRead;
        std::ifstream in(entry.path());
        std::string text;
        for (int number = 1; std::getline(in, text); ++number) {
            std::smatch match;
            if (!std::regex_search(text, match, include))
                continue;
            const std::string room = fs::path(match[1].str()).begin()->string();
            if (std::find(kEffectRooms.begin(), kEffectRooms.end(), room) > from)
                report << relative.generic_string() << ":" << number << ": includes " << match[1]
                       << ", of a room not before " << *from << "\n";
        }
    }
    EXPECT_GT(filesRead, 50u); // the rooms were found and read
    EXPECT_TRUE(report.str().empty()) << "Includes against the effect rooms' order:\n" << report.str();
}
