#pragma once
// Compiles the shaders of every pass of a parsed effect into the pass's
// program: the generated entry points, each stage through the shader compiler
// to SPIR-V, then SPIRV-Cross for the GLSL the driver takes and the reflection
// (where each parameter lies in the uniform block, a texture unit for each
// sampler, unique within the pass), both in the shader compiler's child
// process (shader_compile.h). A stage used by several passes is compiled
// once, and passes that compile the same pair of stages share one program; a
// pass that chooses its shaders from arrays of shader variables gets a
// program for each pair. Each program is then checked as the drawing device
// takes it (its stages' GLSL compiles and links, in a child too): one that
// does not fails the effect, naming its pass. The first error fails the
// effect with its messages.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/parser/effect_description.h"

namespace gfx {

// What the compiled shaders of the effect's programs together may come to,
// each program counted once however many passes share it: the compile stops
// as soon as they pass it.
inline constexpr uint64_t kMaxEffectProgramBytes = uint64_t{256} << 20;
// The programs of all passes together, a pass choosing its shaders from
// arrays making one for each pair it may choose.
inline constexpr uint64_t kMaxEffectPrograms = 65536;

// `preprocessed` is the text `effect` was parsed from; `assigned`, the statics
// the parse found must take their values at the entry points. On success
// every pass of `effect` holds its program.
bool CompileEffectShaders(std::string_view preprocessed, const std::string& fileName, EffectDescription& effect,
                          std::string& messages, const std::vector<std::string>& assigned = {});

namespace detail {
// Test hook. Runs in the compiling child on each stage's text made for
// drawing, as soon as it is made (`vertex`: of a vertex stage); it may spoil it.
using TranslationHook = void (*)(std::string& glsl, bool vertex);
std::atomic<TranslationHook>& TranslationOverride();
} // namespace detail

} // namespace gfx
