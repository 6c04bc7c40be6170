#pragma once
// A pass's stage texts as a drawing device compiles them, so that a compile
// that checks them and the device that draws them read the same text.
#include <string>

namespace gfx {

// The vertex stage's text with its position's y negated after everything it
// does: the frame is drawn with OpenGL's lower-left clip origin, which puts
// the same pixels where the upper-left one would, but has the rasterizer break
// ties on edges through pixel centres by the platform's top-left rule (with
// the upper-left origin it takes the bottom edges instead of the top ones).
std::string VertexTextAsDrawn(const std::string& vertex);

// The pixel stage's text with the alpha test the generated entry point wraps
// around its colour turned off, for the draws that test no alpha; the text
// unchanged when it has none.
std::string PixelTextWithoutAlphaTest(const std::string& pixel);

} // namespace gfx
