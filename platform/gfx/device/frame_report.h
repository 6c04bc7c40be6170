#pragma once
// The frame report: when the environment variable ZANDREL_FRAME_REPORT names a
// file, a device writes there how many frames it has presented, as "presented
// N" and a line end (the file is replaced whole): at its first presented frame
// and when it goes away. It lets a test that runs the program see that frames
// are presented without adding to the program's own output. Nothing happens
// when the variable is unset or empty.
#include <cstdint>

namespace gfx {

void WriteFrameReport(uint64_t framesPresented);

} // namespace gfx
