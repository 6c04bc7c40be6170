#pragma once
// Casts to array types, `(int[4])v`, as the shader compiler can read them. The
// platform's compiler takes the value apart, component by component, into the
// array's elements; the shader compiler reads such a cast as a constructor
// that wants one value for each element. Each cast is rewritten in place as a
// call of a helper that takes the value apart (`(int[4])v` becomes
// `zint_4(v)`), the text's length and lines kept, and the helpers, one
// overload for each shape a value of as many components may have, are
// declared on one line that goes before the text.
#include <string>

namespace gfx {

// Rewrites the casts of `text` in place; returns the helpers' declarations
// (one line, no line end), or "" when there is no cast to rewrite.
std::string RewriteArrayCasts(std::string& text);

} // namespace gfx
