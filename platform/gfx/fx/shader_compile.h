#pragma once
// Shader stages through glslang's HLSL front end (Direct3D 9 compatible:
// sampler2D with tex2D as combined samplers) to SPIR-V. Errors come back as
// "file(line,col): error X3000: text" lines naming the effect file and line the
// author wrote; errors inside the generated entry point name the shader function.
// The front end runs in a child process (platform/os/process.h), so that no
// source, however wrong, can crash or hang the caller through it: a stage the
// front end (or the caller's follow-up work on its output) dies on, runs out
// of memory on, or spends too long on, fails with a message naming its shader
// function's file and line. Once the program is closing no compile starts, and
// one under way is ended.
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
// Throws std::bad_alloc when memory for them cannot be had, and again at every
// call after: the compiler cannot be used in this process then.
void PrepareShaderCompiler();

// True once the program is closing (a close signal has come): compiles then
// fail at once, or are ended, and say so.
bool ShaderCompilesStopped();

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

// The processor time a stage may take (each of the child's threads its own);
// past it the child is ended and the stage it was on fails. It counts what a
// runaway compile burns, so that a loaded machine slows a compile but never
// fails it.
inline constexpr double kShaderStageSeconds = 10.0;
// How long the child may go neither finishing a stage nor using the
// processor: it waits on nothing then. Too long for load to reach.
inline constexpr double kShaderStageIdleSeconds = 60.0;

namespace detail {
// Test hooks. Runs in the compiling child before each stage with the stage's
// function name (a fault can be made there).
using StageCompileHook = void (*)(const std::string& function);
std::atomic<StageCompileHook>& StageCompileOverride();
// Replace kShaderStageSeconds and kShaderStageIdleSeconds when above 0.
std::atomic<double>& StageSecondsOverride();
std::atomic<double>& StageIdleSecondsOverride();
} // namespace detail

} // namespace gfx
