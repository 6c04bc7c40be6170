#pragma once
// Shader stages through glslang's HLSL front end (Direct3D 9 compatible:
// sampler2D with tex2D as combined samplers) to SPIR-V. Errors come back as
// "file(line,col): error X3000: text" lines naming the effect file and line the
// author wrote; errors inside the generated entry point name the shader function.
// The front end runs in a child process (platform/os/process.h), so that no
// source, however wrong, can crash or hang the caller through it: a stage the
// front end (or the caller's follow-up work on its output) dies on, or spends
// too long on, fails with a message naming its shader function's file and line.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gfx/fx/hlsl_source.h"
#include "platform/gfx/fx/shader_entry.h"

namespace gfx {

enum class ShaderStage { Vertex, Pixel };

// The compiler's built-in tables are built once for the process (tens of
// milliseconds) and shared by every stage compiled after. This starts building
// them on a thread of its own unless they are built or being built, so that
// work needing no stage can go on alongside.
void StartPreparingShaderCompiler();
// The tables are built when this returns (now, by the calling thread, unless
// they were), and the thread that StartPreparingShaderCompiler began has ended.
void PrepareShaderCompiler();

struct StageSource {
    std::string text;          // the source's text or a part of it with the same lines (HlslSource::TextFor)
    ShaderEntry entry;
    ShaderStage stage = ShaderStage::Vertex;
    HlslSource::Origin blame;  // where errors in the generated entry point, or a failed compile, are reported
    std::string function;      // the effect's function it wraps; "" for a stand-in stage
};

struct StageResult {
    bool ok = false;
    std::vector<uint32_t> spirv;
    std::string messages;      // the errors when not ok
    std::string extra;         // what the follow-up made of it
};

// The caller's own work on a stage that compiled, done in the child right
// after it (and so kept from the caller the same way): `stage` indexes the
// stages given, the bytes it returns come back as the result's `extra`.
using StageFollowUp = std::function<std::string(size_t stage, const std::vector<uint32_t>& spirv)>;

// Every stage compiled, one result each in the same order. Builds the tables
// first where needed. Compiles from different threads take turns.
std::vector<StageResult> CompileHlslStages(const HlslSource& source, const std::vector<StageSource>& stages,
                                           const StageFollowUp& followUp = {});

// The longest the compiling child may go without finishing a stage; past it
// the child is ended and the stage it was on fails.
inline constexpr double kShaderStageSeconds = 10.0;

namespace detail {
// Test hooks. Runs in the compiling child before each stage with the stage's
// function name (a fault can be made there).
using StageCompileHook = void (*)(const std::string& function);
std::atomic<StageCompileHook>& StageCompileOverride();
// Replaces kShaderStageSeconds when above 0.
std::atomic<double>& StageSecondsOverride();
} // namespace detail

} // namespace gfx
