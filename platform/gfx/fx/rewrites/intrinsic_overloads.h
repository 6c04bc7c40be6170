#pragma once
// Intrinsics whose results the shader compiler types otherwise than the
// language: `sign` of floats gives ints (so `sign(x) / 2` divides ints),
// where the shader compiler gives floats. Overloads of the effect's own that
// give the language's types are declared on one line before the text, for
// the intrinsics the text calls: the shader compiler takes a function of the
// effect before an intrinsic that takes the same arguments.
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// The overloads for `text`, whose functions are named `functions` (an
// intrinsic the effect defines a function of keeps it); "" for none.
std::string IntrinsicOverloads(std::string_view text, const std::vector<std::string_view>& functions);

} // namespace gfx
