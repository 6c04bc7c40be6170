#pragma once
// Swizzles of several matrix elements, `M._11_22_33` or `mul(A, B)._m01_m10`,
// in a compiled stage. glslang's HLSL front end reads and types them itself,
// whatever stands before the '.' and between it and the name (a blank, a
// comment, a line break), but leaves a node of which no SPIR-V is made (and
// splits a write with `=` reading a variable on the right by components it
// may not have). Between the link and the SPIR-V each is mended in its tree:
// a read into the elements picked one by one (one row's into that row's
// swizzle, a constant's into a constant), its matrix computed once where it
// is more than a variable; a write, with `=`, with an operator given back
// (rewrites/matrix_swizzles.h) or through an `out` or `inout` argument, into
// a write of each element. Every node keeps the place the author wrote, so
// messages name it. What cannot be mended is refused in words, and so is a
// name the platform's compiler refuses that the front end reads, one that
// mixes the two forms (`_m00_11`) among them.
#include <string>

#include "platform/gfx/fx/hlsl/tree_nodes.h"

namespace glslang {
class TIntermediate;
}

namespace gfx {

// Mends `stage`, whose text stands for the effect's as `place` says;
// returns the errors of what it refuses, or "".
std::string MendMatrixSwizzles(glslang::TIntermediate& stage, const StageTextPlace& place);

} // namespace gfx
