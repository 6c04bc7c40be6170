#include "platform/gfx/device/frame_report.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace gfx {

void WriteFrameReport(uint64_t framesPresented)
{
    const char* path = std::getenv("ZANDREL_FRAME_REPORT");
    if (!path || !*path)
        return;
    // Written aside and renamed, so a watcher never reads a half-written report.
    const std::string aside = std::string(path) + ".part";
    {
        std::ofstream file(aside, std::ios::trunc);
        file << "presented " << framesPresented << "\n";
        if (!file)
            return;
    }
    std::rename(aside.c_str(), path);
}

} // namespace gfx
