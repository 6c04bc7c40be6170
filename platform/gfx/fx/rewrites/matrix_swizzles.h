#pragma once
// Swizzles of several matrix elements, `World._41_42_43` or `M._m20_m21_m22`,
// as the shader compiler reads them right: it reads one element, `M._31`,
// right, but several as nothing like the elements. Elements of one row become
// that row's swizzle (`World[3].xyz`), which keeps the matrix's type and may
// be written; elements of several rows a vector made of each element alone
// (`float2(M._11, M._22)`), its matrix written out once for each, when that
// is short. Every character after such a swizzle keeps its line and column
// where its line allows.
#include <string>

namespace gfx {

// Rewrites the swizzles of several matrix elements in `text` in place.
void RewriteMatrixSwizzles(std::string& text);

} // namespace gfx
