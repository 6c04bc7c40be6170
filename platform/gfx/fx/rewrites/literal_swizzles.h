#pragma once
// Numbers as the shader compiler reads them: swizzles written on numbers,
// and numbers with an exponent.
//
// Swizzles written on numbers, `1.xxx` and `0.25.xxxx`, as the shader
// compiler can read them. Every reader of effect text takes them by the one
// rule of the tokenizer (syntax/effect_tokens.h): the number is what stands
// before the swizzle's '.', so `1.xxx` is the int 1 made three components.
// The shader compiler reads a swizzle on a number with a '.' of its own
// (`0.25.xxxx`) so, but not always one on an integer: a blank goes between
// such a number and its swizzle (`1 .xxx`), in the place of a blank after it
// on its line where there is one.
#include <string>

namespace gfx {

// Rewrites the swizzles of integers in `text` in place.
void RewriteLiteralSwizzles(std::string& text);

// The shader compiler reads a number whose digits end in more zeros than its
// negative exponent takes away wrongly (`100e-1` as 1, `5000e-2` as 5): such
// a number is written in place without its exponent, as many characters long
// (`10.000`, `50.0000`), its suffix kept.
void RewriteExponents(std::string& text);

} // namespace gfx
