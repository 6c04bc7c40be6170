#pragma once
// Constructors written as the target of an assignment, `float4(a, b) = v;`,
// as the shader compiler can read them. The platform's compiler sets the
// named variables from the value's components in order; the shader compiler
// takes no constructor as a target. Each such statement is rewritten in place
// as a call of a helper with `inout` parameters, `zlf4__(a, b,  v);`: the
// type's name becomes the helper's, of as many letters, the ')' a ',' and
// the '=' a blank, and a ')' goes before the ';' (in the place of a blank
// after it on its line where there is one, rewrites/text_insertions.h), so
// that every other character keeps its line and column. The helpers, one
// overload for each way the type's components split into vectors in order,
// are declared on one line that goes before the text; the shader compiler
// takes the one whose parts are the variables' sizes (`inout`, so that it
// cuts or spreads none to fit another), and finds none for variables whose
// sizes do not add up to the type's. An argument that is no variable, or is
// a parameter, is refused once the stage is read (hlsl/shader_messages.h).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// Rewrites the constructor targets of `text` in place; returns the helpers'
// declarations (one line, no line end), or "" when there is none.
std::string RewriteConstructorTargets(std::string& text);

// The type whose target the helper named `helper` stands for ("float4"), or "".
std::string ConstructorTargetType(std::string_view helper);

// A constructor within a target as the rewrite marks it: its size, and the
// helper's arguments that are its variables (`count` from `first`; a count
// of 5 is 5 or more).
struct NestedTargetMark {
    uint32_t size = 0;
    uint32_t first = 0;
    uint32_t count = 0;
    size_t at = 0; // the mark's offset
};
// A helper's call as the rewrite leaves it in a text: where each of its
// arguments starts (past blanks and marks), and the marks within it.
struct TargetCall {
    std::vector<size_t> arguments;
    std::vector<NestedTargetMark> marks;
};
// The call whose '(' is at `open` in `text`.
TargetCall ReadTargetCall(std::string_view text, size_t open);

} // namespace gfx
