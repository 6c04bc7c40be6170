#pragma once
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

} // namespace gfx
