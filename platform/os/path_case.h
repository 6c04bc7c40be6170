#pragma once
// Paths as the platform's file system takes them: a name does not depend on
// letter case there, and '..' goes back over the name written before it,
// whatever that name is. A path whose exact name is missing here is found
// through the names its folders hold in another case, one part at a time;
// a finder reads each folder at most once, and no more names than its bound.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace platform::os {

// `path` with its '.' parts left out, each name followed by '..' left out
// with it, and runs of '/' made one; '..' at the start of a relative path
// (or after the root, which it leaves as it is) stays.
std::string PlatformPath(const std::string& path);

// Finds paths without regard to letter case, keeping every folder it reads:
// one for the files that one compile looks for.
class CaseFinder {
public:
    // Names a finder reads from folders at most, "." and ".." counted: far
    // above what the folders of any real effect hold, and memory in proportion.
    static constexpr size_t kDefaultMaxEntries = size_t{1} << 18;

    explicit CaseFinder(size_t maxEntries = kDefaultMaxEntries) : maxEntries_(maxEntries) {}

    // PlatformPath(path) when it exists; else that path with every part that
    // is missing replaced by the name its folder holds that differs only in
    // letter case (of several, the first in byte order). "" with `why` when
    // there is none, or when finding it would read more names than the bound.
    std::string Find(const std::string& path, std::string& why);

    // The names read from folders so far, "." and ".." counted.
    size_t EntriesRead() const { return entriesRead_; }

private:
    // A folder's names, ordered by their letters in lower case and then by
    // their bytes, so the first match of a name is the one to take.
    using Listing = std::vector<std::string>;
    // The listing of `folder`, read once; null with `why` past the bound.
    const Listing* Read(const std::string& folder, std::string& why);

    size_t maxEntries_;
    size_t entriesRead_ = 0;
    std::map<std::string, Listing> folders_; // by the folder's path as found
};

// One path looked for on its own, with a finder of its own.
std::string FindPathIgnoringCase(const std::string& path);

} // namespace platform::os
