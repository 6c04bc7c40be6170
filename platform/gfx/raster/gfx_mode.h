#pragma once
// Whether graphics devices draw. Recording devices validate and record every
// call and draw nothing: what unit tests, fuzz targets and benchmarks of the
// layers above use. Rasterizing devices record too and also draw through
// OpenGL. The environment decides when it says (ZANDREL_GFX=raster|record;
// another value is named once and left aside); otherwise the process's
// default holds: recording, unless the program (or a test that wants
// pictures) sets rasterizing.
#include <string>

namespace gfx {

enum class GfxMode { Record, Raster };

void SetDefaultGfxMode(GfxMode mode);
// The mode a device made now gets.
GfxMode CurrentGfxMode();

// Where presented frames are written (ZANDREL_CAPTURE, a relative path taken
// from the folder the process was started in), or "" for nowhere.
std::string CapturePath();

} // namespace gfx
