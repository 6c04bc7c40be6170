// Paths found as the platform's file system finds them, and the names a
// finder reads to find them: each folder once, and no more than its bound.
#include "platform/os/path_case.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "testing/test_files.h"

namespace {

namespace fs = std::filesystem;
using platform::os::CaseFinder;

void Touch(const fs::path& path)
{
    std::ofstream(path).close();
}

TEST(PathCase, PathsAreTakenAsThePlatformTakesThem)
{
    const struct {
        std::string path, taken;
    } cases[] = {
        {"a/b/../c.fxh", "a/c.fxh"},
        {"a/./b//c", "a/b/c"},
        {"a/../../x", "../x"},
        {"../../x", "../../x"},
        {"a/b/../../..", ".."},
        {"/../x", "/x"},
        {"/a/..", "/"},
        {"a/..", "."},
        {"D/../D/../D/../x.fxh", "x.fxh"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::os::PlatformPath(c.path), c.taken) << c.path;
}

TEST(PathCase, ANameIsFoundWithoutRegardToLetterCaseWhereTheExactOneIsMissing)
{
    zandrel_test::TempDir dir("zandrel-path-case");
    fs::create_directories(dir.Path("Lib/sub"));
    Touch(dir.Path("Lib/sub/Math.fxh"));
    Touch(dir.Path("Lib/sub/math.FXH"));
    Touch(dir.Path("Lib/exact.fxh"));
    Touch(dir.Path("Lib/EXACT.fxh"));
    const std::string root = dir.Dir().string() + "/";
    const struct {
        std::string asked, found;
    } cases[] = {
        {"Lib/exact.fxh", "Lib/exact.fxh"}, // the exact name first
        {"lib/SUB/MATH.fxh", "Lib/sub/Math.fxh"}, // of several, the first in byte order
        {"LIB/sub/../Exact.FXH", "Lib/EXACT.fxh"}, // '..' goes back over the name before it
        {"LIB/none/../sub/./math.fxh", "Lib/sub/Math.fxh"},
        {"lib/none.fxh", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::os::FindPathIgnoringCase(root + c.asked), c.found.empty() ? "" : root + c.found)
            << c.asked;
    }
    CaseFinder finder;
    std::string why;
    EXPECT_EQ(finder.Find(root + "lib/none.fxh", why), "");
    EXPECT_EQ(why, "no such file, in any letter case");
    EXPECT_EQ(finder.Find("", why), "");
    EXPECT_EQ(why, "no such file");
}

TEST(PathCase, EachFolderIsReadOnceWhateverIsLookedFor)
{
    // A folder of many names, and a path of 50 folders written in another
    // case: the names read are the folders' names, each folder once, however
    // many files are looked for through them.
    zandrel_test::TempDir dir("zandrel-path-case");
    for (int i = 0; i < 3000; ++i)
        Touch(dir.Path("name" + std::to_string(i)));
    fs::path deep = dir.Dir();
    std::string written = dir.Dir().string() + "/";
    for (int i = 1; i <= 50; ++i) {
        deep /= "p" + std::to_string(i);
        written += "P" + std::to_string(i) + "/";
    }
    fs::create_directories(deep);
    for (int i = 0; i < 200; ++i)
        Touch(deep / ("f" + std::to_string(i) + ".fxh"));
    // The top folder's 3,000 names, the folder and '.' and '..'; each of the
    // 49 folders below it holds one folder, the last 200 files.
    const size_t top = 3000 + 1 + 2;
    const size_t path = top + 49 * 3;
    const size_t all = path + 200 + 2;

    CaseFinder finder;
    std::string why;
    for (int i = 0; i < 200; ++i) {
        const std::string found = finder.Find(written + "F" + std::to_string(i) + ".FXH", why);
        EXPECT_EQ(found, (deep / ("f" + std::to_string(i) + ".fxh")).string()) << why;
    }
    EXPECT_EQ(finder.EntriesRead(), all);
    // Missing names, and a path going in and out of a folder 800 times, read
    // nothing more.
    for (int i = 0; i < 4000; ++i)
        EXPECT_EQ(finder.Find(dir.Dir().string() + "/missing" + std::to_string(i), why), "");
    std::string inAndOut = dir.Dir().string() + "/";
    for (int i = 0; i < 800; ++i)
        inAndOut += "P1/../";
    EXPECT_EQ(finder.Find(inAndOut + "NAME7", why), dir.Dir().string() + "/name7");
    EXPECT_EQ(finder.EntriesRead(), all);

    // A finder reads no more names than its bound, and says so.
    CaseFinder bounded(path);
    EXPECT_EQ(bounded.Find(written + "F0.FXH", why), "");
    EXPECT_EQ(why, "finding it in another letter case reads more than the bound of " + std::to_string(path) +
                       " names of folders");
    EXPECT_EQ(bounded.EntriesRead(), path + 1);
    // What it has read it still finds through.
    EXPECT_EQ(bounded.Find(dir.Dir().string() + "/NAME1", why), dir.Dir().string() + "/name1");
}

} // namespace
