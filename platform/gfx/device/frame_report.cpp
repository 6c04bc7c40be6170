#include "platform/gfx/device/frame_report.h"

#include <cstdlib>
#include <fstream>

namespace gfx {

void WriteFrameReport(uint64_t framesPresented)
{
    const char* path = std::getenv("ZANDREL_FRAME_REPORT");
    if (!path || !*path)
        return;
    std::ofstream(path, std::ios::trunc) << "presented " << framesPresented << "\n";
}

} // namespace gfx
