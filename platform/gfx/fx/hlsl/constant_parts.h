#pragma once
// The operations of constants that the shader compiler computes as it reads
// them otherwise than the language, before any tree of its own keeps them:
// `*` between a matrix and a matrix or vector (a product, where it works
// element by element), comparisons of vectors (of their first components
// only, and typed as one bool), `%` of floats, `dot` of integers, `fmod`
// (with the divisor's sign) and `round` (a half away from zero). Each such
// operation whose operands are constants (literals, `static const`s of the
// text, typedefs) is found and computed by the evaluator
// (expression/constant_operations.h), and its text gives way to the name of
// a constant of that value declared before the text, then blanks: every
// line and column of the text stays where it was. An integer division or
// remainder by a constant zero is refused, X4010, as the evaluator refuses it.
#include <string>

#include "platform/gfx/fx/hlsl/source.h"

namespace gfx {

// Rewrites `source.text`, its functions and declarations read, in place, and
// adds the errors to `source.errors`; returns the constants' declarations,
// on one line, or "".
std::string RewriteConstantParts(HlslSource& source);

} // namespace gfx
