#pragma once
// Statics whose initial values call the effect's own functions, as the
// shader compiler can take them. The platform's compiler folds such a value
// to a constant; the shader compiler gives the calls of a global's
// initializer to the function defined last before it, which fails or stops
// it. Each such initializer is replaced in the text by the value the
// evaluator folded, written exactly (floats by their bits where a number
// would not give them back), the text's lines kept. (One whose value follows
// a parameter is given it at the entry point instead, hlsl/source.h; where
// it is an array of unstated size, its size is written in its brackets.)
#include <string>
#include <vector>

#include "platform/gfx/fx/parser/effect_parser.h"

namespace gfx {

// A value as HLSL writes it: "float4(1, 0.5, 2, asfloat(0x7f800000))", an
// array as a list in braces.
std::string HlslValueText(const ExpressionValue& value);

// Writes each folded value in place of its range of `text` (ranges in order,
// as the parser gives them).
void WriteFoldedInitializers(std::string& text, const std::vector<FoldedInitializer>& folded);

} // namespace gfx
