#include "platform/gfx/device/frame_report.h"

#include <cstdlib>
#include <string>

#include "platform/os/file_replace.h"

namespace gfx {

void WriteFrameReport(uint64_t framesPresented)
{
    const char* path = std::getenv("ZANDREL_FRAME_REPORT");
    if (!path || !*path)
        return;
    // Replaced whole, so a watcher never reads a half-written report.
    platform::ReplaceFileContents(path, "presented " + std::to_string(framesPresented) + "\n");
}

} // namespace gfx
