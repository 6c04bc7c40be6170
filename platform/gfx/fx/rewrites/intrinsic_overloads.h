#pragma once
// Intrinsics the shader compiler types or converts otherwise than the
// language:
// - `sign` of floats gives ints (so `sign(x) / 2` divides ints), where the
//   shader compiler gives floats;
// - an intrinsic of one argument that takes floats, given a call or a
//   constructor of ints, uints or bools (`length(int2(a, b))`,
//   `floor(f(x))`), is given a value the shader compiler makes of that
//   argument wrongly as it converts it (zero).
// Overloads of the effect's own that take such arguments as they are, and
// give the language's types, are declared on one line before the text, for
// the intrinsics the text calls so: the shader compiler takes a function of
// the effect that takes the arguments as they are before an intrinsic.
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// The overloads for `text`, whose functions are named `functions` (an
// intrinsic the effect defines a function of keeps it); "" for none.
std::string IntrinsicOverloads(std::string_view text, const std::vector<std::string_view>& functions);

} // namespace gfx
