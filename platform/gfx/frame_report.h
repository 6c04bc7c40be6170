#pragma once
// The frame report: when the environment variable ZANDREL_FRAME_REPORT names a
// file, a device that goes away writes there how many frames it presented, as
// "presented N" and a line end (the file is replaced). It lets a test that runs
// the program see that frames were presented without adding to the program's
// own output. Nothing happens when the variable is unset or empty.
#include <cstdint>

namespace gfx {

void WriteFrameReport(uint64_t framesPresented);

} // namespace gfx
