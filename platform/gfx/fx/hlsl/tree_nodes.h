#pragma once
// What the mends of glslang's tree (tree_mends.h, matrix_swizzle_mends.h)
// share: where a node stands in the effect's text, a type's name as HLSL
// spells it, and variables of the mends' own.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/fx/hlsl/source.h"

namespace glslang {
class TIntermediate;
class TIntermSymbol;
class TType;
struct TSourceLoc;
} // namespace glslang

namespace gfx {

// Where the stage's text stands for the effect's: its first `sourceLines`
// lines are the effect's text's, the first after a prelude of
// `preludeSize` characters.
struct StageTextPlace {
    const HlslSource& source;
    int sourceLines = 0;
    size_t preludeSize = 0;
    // Places (line, column of the text) of `*`s given to glslang as `/`.
    const std::vector<std::pair<int, int>>* divisions = nullptr;

    // The line and column of the effect's text a node at `loc` stands at;
    // false where it stands at none of the author's (the prelude, the entry
    // point after the text).
    bool Of(const glslang::TSourceLoc& loc, int& line, int& column) const;
};

// The name HLSL gives the type: glslang keeps a matrix's rows as its columns.
std::string HlslTypeName(const glslang::TType& type);

// The mends' own variables, numbered past every symbol of the stage.
class TreeTemporaries {
public:
    explicit TreeTemporaries(glslang::TIntermediate& stage) : stage_(stage) {}
    // A variable of `type` (unqualified), written at `loc`.
    glslang::TIntermSymbol* Make(const glslang::TType& type, const char* name, const glslang::TSourceLoc& loc);

private:
    glslang::TIntermediate& stage_;
    long long nextId_ = 0; // 0 until the stage's symbols are counted
};

// Another node that reads `symbol`, at its place.
glslang::TIntermSymbol* ReadAgain(const glslang::TIntermSymbol& symbol);

} // namespace gfx
