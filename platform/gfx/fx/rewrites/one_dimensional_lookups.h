#pragma once
// The lookups of one-dimensional textures, `tex1D(s, t)` and its kin, as the
// shader compiler can take them. The platform has no sampler of one
// dimension: a `sampler1D` is a two-dimensional sampler, and its texture one
// row, W x 1, read where the coordinate says across it. The shader compiler
// makes `sampler` two-dimensional too, but looks it up with the one
// coordinate, which is no lookup the driver takes; and `sampler1D` it makes a
// sampler of one dimension, which reads none of the device's textures. So a
// `sampler1D` is spelled `sampler2D`, and each lookup's name becomes its
// helper's, of as many letters (`tex1D` `zlt1D`), which reads across the
// middle of the texture's height: the one row of a texture W x 1, whatever its
// addressing (the platform reads a texture of more rows at whatever its
// register's second component holds, no row that can be named here).
#include <string>
#include <string_view>

namespace gfx {

// Rewrites the lookups of `text` in place; returns the helpers of those it
// holds (one line, no line end), or "" when it holds none.
std::string RewriteOneDimensionalLookups(std::string& text);

// The lookup a helper's name stands for ("tex1Dlod"), or "".
std::string OneDimensionalLookup(std::string_view helper);

} // namespace gfx
