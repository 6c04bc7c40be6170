#pragma once
// Writes to swizzles of several matrix elements, `M._41_42_43 *= 2` or
// `S._m00_m10 = v`, as the shader compiler can read them. It reads such a
// swizzle itself, whatever stands around its '.', and types it right (its
// tree is mended after it: hlsl/matrix_swizzle_mends.h), but takes only `=`
// to one of several elements. Each compound operator after such a name
// becomes '=' and blanks in its place, every character keeping its line and
// column; each write is listed with its operator as written, for the mend to
// give it back and to name the swizzle where it refuses one.
#include <string>
#include <vector>

namespace gfx {

struct SwizzleWrite {
    int line = 0;   // of the '=' that stands in the operator's place
    int column = 0; // where the operator began
    std::string op; // as written: "=", "+=", "<<="
    std::string name; // the swizzle written: "_41_42_43"
    int nameLine = 0;
    int nameColumn = 0;
};

// Rewrites the compound writes to names shaped as swizzles of several matrix
// elements (or as one that mixes its forms) in `text` in place; returns every
// write to such a name, in order.
std::vector<SwizzleWrite> RewriteMatrixSwizzleWrites(std::string& text);

} // namespace gfx
