#pragma once
// Initializer lists written flat, `static float4 a[3] = { 12 numbers };`, as
// the shader compiler can read them. The platform's compiler fills an array's
// elements from a list of components in order; the shader compiler wants one
// value, or a list in braces, for each element. Each such list of an array of
// vectors or matrices is rewritten in place with braces around each element's
// components, `{ {1, 2, 3, 4}, {5, ...} }`, and of an array of arrays around
// each row too, `float d[2][2] = { {1, 2}, {3, 4} }`, where the size of every item is
// known from its text: numbers, and constructors and casts of built-in types
// (or only numbers, when the list has a component for every item). The braces
// take the place of blanks that follow them on their line, so the text keeps
// its lines and, where the list has blanks enough, its columns.
#include <string>

namespace gfx {

// Rewrites the flat lists of `text` in place.
void RewriteFlatLists(std::string& text);

} // namespace gfx
