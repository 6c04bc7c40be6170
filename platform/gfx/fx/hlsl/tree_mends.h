#pragma once
// What glslang's tree gets wrong of the language, mended between the link
// and the SPIR-V, in the compiling child (shader_compile.cpp); what it folds
// wrongly as it reads is mended in the text before (constant_parts.h,
// rewrites/intrinsic_overloads.h), what it writes wrongly in the SPIR-V
// after (spirv_mends.h):
// - `*` and `*=` between two matrices multiply element by element, the
//   larger cut to the smaller (glslang reads them as a product, as it reads
//   `mul`, which it places at its name); where the two are of a shape that
//   no product takes, glslang refuses the `*` that the stage's text then
//   gives it as a `/`, which is made the `*`; between a matrix and a vector
//   it is refused, X3020, as the language refuses it;
// - `round` takes a half to the even;
// - the intrinsics that work component by component take matrices, a row
//   at a time;
// - a matrix of ints or bools, which glslang makes no SPIR-V of, is refused.
#include <functional>
#include <string>
#include <vector>

#include "platform/gfx/fx/hlsl/tree_nodes.h"

namespace glslang {
class TIntermediate;
}

namespace gfx {

// Mends `stage` in place; returns the errors of what it cannot mend (a
// `*` between a matrix and a vector, X3020), in the effect's words.
std::string MendTree(glslang::TIntermediate& stage, const StageTextPlace& place);

// The stage's `text` read by `parse` (true where glslang reads it, its log
// in the second argument), each `*` that glslang refuses between matrices of
// a shape no product takes given to it as a `/` instead, its place (line,
// column as glslang counts them) kept in `divisions`; a few tries at most.
// `log` is the last reading's.
using StageParse = std::function<bool(const std::string& text, std::string& log)>;
bool ParseWithProductsAsDivisions(std::string& text, const StageParse& parse,
                                  std::vector<std::pair<int, int>>& divisions, std::string& log);

} // namespace gfx
