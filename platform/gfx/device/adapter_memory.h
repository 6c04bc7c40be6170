#pragma once
// The adapter's video memory: a total (configurable by the test hooks) and the
// bytes taken by live video-memory objects (default-pool textures, surfaces and
// buffers, the back buffers, effects). Every creation and release moves it; the
// DirectDraw reading reports it.
#include <cstdint>

namespace gfx {

uint64_t VideoMemoryTotal();
uint64_t VideoMemoryUsed();
uint64_t VideoMemoryFree();

// Takes `bytes` for a new object; false (nothing taken) when they do not fit.
bool ReserveVideoMemory(uint64_t bytes);
// Gives back what a released object took.
void FreeVideoMemory(uint64_t bytes);

} // namespace gfx
