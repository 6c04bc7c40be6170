#include "platform/os/file_replace.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string AsideName(const std::string& path, long pid)
{
    return path + ".tmp" + std::to_string(pid);
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Removes the aside files of `path` whose writers no longer run: each was
// killed before its rename. A live writer's is its own business.
void RemoveStaleAsides(const fs::path& folder, const std::string& path)
{
    const std::string prefix = fs::path(path).filename().string() + ".tmp";
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const std::string digits = name.substr(std::min(name.size(), prefix.size()));
        if (name.compare(0, prefix.size(), prefix) != 0 || digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::stol(digits);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove(entry->path(), ignored);
        }
    }
}

// Writes the bytes into a file of `folder` without a name and names it
// `aside` once they are all there; false when that cannot be done so.
bool WriteUnnamed(const fs::path& folder, const std::string& aside, std::string_view bytes)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool named = false;
    if (WriteAll(fd, bytes)) {
        ::unlink(aside.c_str()); // left by a killed writer that had this process's id
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        named = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, aside.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                ::linkat(fd, "", AT_FDCWD, aside.c_str(), AT_EMPTY_PATH) == 0;
    }
    ::close(fd);
    return named;
}

bool WriteNamed(const std::string& aside, std::string_view bytes)
{
    const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, bytes);
    if (::close(fd) != 0 || !written) {
        ::unlink(aside.c_str());
        return false;
    }
    return true;
}

} // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes)
{
    const fs::path parent = fs::path(path).parent_path();
    const fs::path folder = parent.empty() ? fs::path(".") : parent;
    RemoveStaleAsides(folder, path);
    // The process id keeps two writers of one file from sharing an aside file.
    const std::string aside = AsideName(path, ::getpid());
    // A file system without unnamed files, or a failed write, gets a named
    // aside file (written anew).
    const bool written = WriteUnnamed(folder, aside, bytes) || WriteNamed(aside, bytes);
    if (!written)
        return false;
    if (::rename(aside.c_str(), path.c_str()) != 0) {
        ::unlink(aside.c_str());
        return false;
    }
    return true;
}

} // namespace platform
