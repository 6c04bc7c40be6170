#pragma once
// The bounds on what a shader compiler is given to read, glslang (the shader
// text) and the drawing's driver (each stage's text made for drawing) alike:
// how deep the text nests and, for a stage made for drawing, its size. Both
// compilers read nesting by recursion, and one nested past what their stack
// holds ends the process that reads it; the driver's, the program itself.
// Nesting counts every block open and every bracket of a value twice, every
// operator of a chain within one (`a + b + c` is three deep, `a.x.y` too,
// `a[1][2]` by its brackets), for the front ends build a chain of operators
// as deep as it is long, and each statement that governs the one under way,
// a loop eight, a branch four (`else if` eight): by what each takes of
// glslang's stack, which ends at 3,900 brackets, 1,600 branches and 560
// loops nested as it does at a chain of 11,000. A list (arguments,
// declarations, values in braces) and a run of statements nest no deeper
// than their deepest item.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gfx {

// The deepest a text given to a compiler may nest. The driver's compiler
// (Mesa's llvmpipe) ends by SIGSEGV at a chain of about 19,000 operators on
// the usual stack of 8 MiB, glslang at about 11,000; a thread's stack is 2 MiB
// where the stack has no limit, a quarter. The demonstration's effects nest
// 47 deep, the tests' 54.
inline constexpr uint32_t kMostShaderNesting = 1024;
// The most bytes of one stage's text made for drawing: the driver takes
// memory far past a text's size (a text of 1 MB of statements in a row took
// it 440 MB, one of 3.8 MB 1.5 GB), and memory that runs short ends it.
inline constexpr uint64_t kMostDrawnStageBytes = uint64_t{1} << 20;

// Where `text` first nests deeper than kMostShaderNesting: the offset of the
// character that does; npos when it never does. Comments and strings are
// skipped.
size_t PastShaderNesting(std::string_view text);

// Why a stage's text made for drawing is not one the driver may be given,
// in words after "its vertex text" or the like: "comes to N bytes, ..." or
// "nests deeper than ..."; "" when it may.
std::string DrawnStageTextProblem(std::string_view text);

} // namespace gfx
