#pragma once
// The effect-file parser: reads preprocessed effect text (HLSL effect syntax) into
// an EffectDescription. Top-level parameters with types, arrays, semantics,
// annotations and initial values; textures and samplers with sampler_state blocks;
// structs and shader functions, checked for balanced brackets and kept as text;
// techniques of passes with state assignments and `compile` statements.
// `#line N "file"` lines (as the preprocessor writes them) set the place that
// messages name. The first error ends the parse.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/expression/value.h"

namespace gfx {

// Returns false on a syntax error; `messages` then holds
// "file(line,column): error X3xxx: text" lines. `out` is only filled on success.
// The constant expressions' budget of work grows with `tokenBytes`, the bytes
// of the tokens of the effect's files as they were read (TokenBytes), not with
// their comments nor with what macros made of them (0: those of `text`).
// A value the evaluator worked out that the shaders' text takes in place of
// text[begin, end): a static's initial value that calls the effect's own
// functions, folded; or the size of an array declared without one, at its
// ']', whose value the shaders give at their entry points.
struct FoldedInitializer {
    size_t begin = 0;
    size_t end = 0;
    ExpressionValue value;
};
// `assigned` names the statics computed from parameters whose values call
// the effect's functions, or read such a static: the shaders give them their
// values at the start of their entry points, in the order declared.
bool ParseEffect(std::string_view text, const std::string& fileName, EffectDescription& out,
                 std::string& messages, size_t tokenBytes = 0, std::vector<FoldedInitializer>* folded = nullptr,
                 std::vector<std::string>* assigned = nullptr);

} // namespace gfx
