#include "platform/os/path_case.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace platform::os {

namespace {

bool Exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool SameIgnoringCase(const char* a, const std::string& b)
{
    size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return a[i] == '\0' && i == b.size();
}

// The name `folder` holds that differs from `name` only in letter case, the
// first in byte order; "" for none.
std::string NameIgnoringCase(const std::string& folder, const std::string& name)
{
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!listing)
        return {};
    std::string found;
    while (const dirent* entry = ::readdir(listing))
        if (SameIgnoringCase(entry->d_name, name) && (found.empty() || found > entry->d_name))
            found = entry->d_name;
    ::closedir(listing);
    return found;
}

} // namespace

std::string FindPathIgnoringCase(const std::string& path)
{
    if (path.empty() || Exists(path))
        return path;
    std::string found = path.front() == '/' ? "/" : "";
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        std::string next = found + part;
        if (part != "." && part != ".." && !Exists(next)) {
            const std::string name = NameIgnoringCase(found, part);
            if (name.empty())
                return {};
            next = found + name;
        }
        found = end < path.size() ? next + "/" : next;
    }
    return found;
}

} // namespace platform::os
