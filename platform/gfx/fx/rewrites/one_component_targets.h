#pragma once
// One-component vectors written through their swizzle, `o.fog.x = v;`, as
// the shader compiler can take them. The platform's compiler takes `.x` (or
// `.r`) of a `float1` as a target as it takes a component of any vector; the
// shader compiler takes a one-component vector's swizzle only as a value,
// and a scalar's as a target too. So each declaration of a one-component
// vector whose name the text writes so declares a scalar instead: the type's
// last character, its '1', becomes a blank, and every other character keeps
// its line and column.
#include <string>

namespace gfx {

// Rewrites the declarations of `text` in place.
void RewriteOneComponentTargets(std::string& text);

} // namespace gfx
