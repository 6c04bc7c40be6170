#pragma once
// What each instruction of an expression's program computes, on values
// already in place: the one place where values are made, for the compiler's
// folding and for Evaluate alike.
#include "platform/gfx/fx/expression/effect_expression.h"

namespace gfx::expr {

// Runs one instruction, typed to `result`: `shapes` and `inputs` are its
// inputs' shapes and components, `out` takes result.Components().
void Apply(const Expression::Instruction& in, const ValueShape* shapes, const double* const* inputs,
           const ValueShape& result, double* out);

} // namespace gfx::expr
