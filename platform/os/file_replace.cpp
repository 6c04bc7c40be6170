#include "platform/os/file_replace.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace platform {

bool ReplaceFileContents(const std::string& path, std::string_view bytes)
{
    // The process id keeps two writers of one file from sharing an aside file.
    const std::string aside = path + ".tmp" + std::to_string(::getpid());
    std::error_code error;
    {
        std::ofstream out(aside, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(aside, error);
            return false;
        }
    }
    std::filesystem::rename(aside, path, error);
    if (error) {
        std::filesystem::remove(aside, error);
        return false;
    }
    return true;
}

} // namespace platform
