#include "platform/os/path_case.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace platform::os {

namespace {

bool Exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// Letters compared as the platform's file system compares names.
char Folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// -1, 0 or 1 as `a` comes before, with or after `b` by their letters in lower case.
int FoldedCompare(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (Folded(a[i]) != Folded(b[i]))
            return static_cast<unsigned char>(Folded(a[i])) < static_cast<unsigned char>(Folded(b[i])) ? -1 : 1;
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Orders names by their letters in lower case, then by their bytes.
bool ListingLess(const std::string& a, const std::string& b)
{
    const int folded = FoldedCompare(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

std::string PlatformPath(const std::string& path)
{
    const bool rooted = !path.empty() && path.front() == '/';
    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else if (part != ".." || !rooted)
            parts.push_back(std::move(part));
    }
    std::string out = rooted ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i == 0 ? "" : "/") + parts[i];
    return out.empty() ? "." : out;
}

const CaseFinder::Listing* CaseFinder::Read(const std::string& folder, std::string& why)
{
    const auto kept = folders_.find(folder);
    if (kept != folders_.end())
        return &kept->second;
    Listing names;
    // A folder that cannot be read holds no name to find.
    if (DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = ::readdir(listing)) {
            if (++entriesRead_ > maxEntries_) {
                ::closedir(listing);
                why = "finding it in another letter case reads more than the bound of " +
                      std::to_string(maxEntries_) + " names of folders";
                return nullptr;
            }
            names.emplace_back(entry->d_name);
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end(), ListingLess);
    return &folders_.emplace(folder, std::move(names)).first->second;
}

std::string CaseFinder::Find(const std::string& asked, std::string& why)
{
    why.clear();
    const std::string path = asked.empty() ? asked : PlatformPath(asked);
    if (!path.empty() && Exists(path))
        return path;
    if (path.empty()) {
        why = "no such file";
        return {};
    }
    std::string found = path.front() == '/' ? "/" : "";
    for (size_t start = found.size(); start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        std::string next = found + part;
        if (part != ".." && !Exists(next)) {
            const Listing* names = Read(found, why);
            if (!names)
                return {};
            // The first of the names that differ from it only in letter case.
            const auto match = std::lower_bound(names->begin(), names->end(), part, [](const auto& name, const auto& key) {
                return FoldedCompare(name, key) < 0;
            });
            if (match == names->end() || FoldedCompare(*match, part) != 0) {
                why = "no such file, in any letter case";
                return {};
            }
            next = found + *match;
        }
        found = end < path.size() ? next + "/" : next;
    }
    return found;
}

std::string FindPathIgnoringCase(const std::string& path)
{
    CaseFinder finder;
    std::string why;
    return finder.Find(path, why);
}

} // namespace platform::os
