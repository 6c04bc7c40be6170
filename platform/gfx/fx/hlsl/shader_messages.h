#pragma once
// The shader compiler's messages in the platform compiler's words: each error
// of glslang's log at the author's file, line and column, with the platform's
// code where it has one, the writes it lets pass that the platform refuses,
// and its warning X3206 where a vector is cut short by nothing the author
// wrote. For the compiling child (shader_compile.cpp).
#include <string>
#include <string_view>

#include "platform/gfx/fx/hlsl/source.h"

namespace glslang {
class TIntermediate;
}

namespace gfx {

// What the front end says of a call that no function takes.
inline constexpr std::string_view kNoMatchingFunction = "no matching overloaded function found";

// glslang's log of a stage whose first `sourceLines` lines are the effect's;
// what lies past them (the generated entry point) is blamed on `blame`.
std::string Translate(const std::string& log, const HlslSource& source, int sourceLines,
                      const HlslSource::Origin& blame);

// The errors of a compiled stage of text `text` that the front end let
// pass: X3025 at each place it writes a parameter through an `out` or `inout`
// argument or an intrinsic's output, and where a constructor's target names
// no variable; X3014 where a constructor within one has variables that do not
// add up to it.
std::string WriteErrors(glslang::TIntermediate& stage, const HlslSource& source, int sourceLines,
                        std::string_view text);

// The warnings of a compiled stage: X3206 at each place a vector is cut short.
std::string TruncationWarnings(glslang::TIntermediate& stage, const HlslSource& source, int sourceLines);

// The warnings of the effect's functions, every one of which is compiled:
// X3078 at each loop variable declared again in its scope.
std::string LoopVariableWarnings(const HlslSource& source);

} // namespace gfx
