#pragma once
// Vectors given for the scalar parameters of the effect's functions, as the
// shader compiler can take them. The platform's compiler takes a vector's
// first component for a scalar parameter, warning of the truncation; the
// shader compiler cuts a vector only to a smaller vector, and finds no
// function for such a call. A function of the effect with scalar parameters
// gets overloads that take two-component vectors for them and call it with
// their first components, one for each count of arguments a call may give
// (they have no defaults; eight at most): the shader compiler cuts a larger vector to
// them, and where the function itself takes a call it prefers the function.
// The overload's vector parameters are named kVectorParameterPrefix and the
// parameter's name, so that the finder of truncations knows them.
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/syntax/function_head.h"

namespace gfx {

inline constexpr std::string_view kVectorParameterPrefix = "zl_scalar_";

// The overloads for the function whose head `head` read from `tokens` (their
// text as spelled in `text`), on one line; "" where it has no scalar
// parameter that takes a value, or a parameter it cannot pass on. Parameters
// not `kept` (texture parameters, which the shaders' text leaves out) are
// left out of it too; an empty `kept` keeps all.
std::string VectorOverload(std::string_view text, const std::vector<Token>& tokens, const FunctionHead& head,
                           const std::vector<bool>& kept);

} // namespace gfx
