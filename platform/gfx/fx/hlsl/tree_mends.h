#pragma once
// What glslang's tree, and the SPIR-V it makes of it, get wrong of the
// language, mended between the link and the SPIR-V (for the compiling child,
// shader_compile.cpp); what it folds wrongly as it reads is mended in the
// text before (constant_parts.h, rewrites/intrinsic_overloads.h):
// - `*` and `*=` between two matrices multiply element by element, the
//   larger cut to the smaller (glslang reads them as a product, as it reads
//   `mul`, which it places at its name); where the two are of a shape that
//   no product takes, glslang refuses the `*` that the stage's text then
//   gives it as a `/`, which is made the `*`; between a matrix and a vector
//   it is refused, X3020, as the language refuses it;
// - `round` takes a half to the even;
// - the intrinsics that work component by component take matrices, a row
//   at a time;
// - `%` and `fmod` leave the sign of the dividend (truncated remainders),
//   of ints and floats alike;
// - a matrix of ints or bools, which glslang makes no SPIR-V of, is refused.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/fx/hlsl/source.h"

namespace glslang {
class TIntermediate;
}

namespace gfx {

// Where the stage's text stands for the effect's: its first `sourceLines`
// lines are the effect's text's, the first after a prelude of
// `preludeSize` characters.
struct StageTextPlace {
    const HlslSource& source;
    int sourceLines = 0;
    size_t preludeSize = 0;
    // Places (line, column of the text) of `*`s given to glslang as `/`.
    const std::vector<std::pair<int, int>>* divisions = nullptr;
};

// Mends `stage` in place; returns the errors of what it cannot mend (a
// `*` between a matrix and a vector, X3020), in the effect's words.
std::string MendTree(glslang::TIntermediate& stage, const StageTextPlace& place);

// Where glslang stopped reading a stage's text, `log` its log, when it
// refused a binary operation: (line, column) as glslang counts them, or
// (0, 0) for another error.
std::pair<int, int> RefusedOperation(const std::string& log);
// The `*`s of the stage's `text` on the line glslang refused an operation
// at, before where it stopped, the nearest first: offsets of the text.
std::vector<size_t> ProductsBefore(const std::string& text, std::pair<int, int> stopped);
// The (line, column) as glslang counts them of `offset` of the stage's text.
std::pair<int, int> PlaceOf(const std::string& text, size_t offset);

void MendSpirv(std::vector<uint32_t>& spirv);

} // namespace gfx
