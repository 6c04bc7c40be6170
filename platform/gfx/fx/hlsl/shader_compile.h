#pragma once
// Shader stages through glslang's HLSL front end (Direct3D 9 compatible:
// sampler2D with tex2D as combined samplers) to SPIR-V. Errors come back as
// "file(line,col): error X3000: text" lines naming the effect file and line the
// author wrote; errors inside the generated entry point name the shader function.
// The front end runs in a child process (platform/os/process.h), so that no
// source, however wrong, can crash or hang the caller through it: a stage the
// front end (or the caller's follow-up work on its output) dies on, runs out
// of memory on, or spends too long on, fails with a message naming its shader
// function's file and line. Once a stage has failed no further stage is
// compiled, and the stages of one effect and the check of its programs
// together have a budget of processor time. Once the program is closing no
// compile starts, and one under way is ended. Each stage's text is made from
// the effect's one text in the child, when its turn comes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gfx/fx/hlsl/source.h"
#include "platform/gfx/fx/hlsl/shader_entry.h"

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
    // What the stage reaches from (HlslSource::Reached): its function and what
    // its entry point names; none for a stand-in stage, which reads nothing of
    // the effect.
    std::vector<HlslSource::Id> roots;
    ShaderEntry entry;
    ShaderStage stage = ShaderStage::Vertex;
    HlslSource::Origin blame;  // where errors in the generated entry point, or a failed compile, are reported
    std::string function;      // the effect's function it wraps; "" for a stand-in stage
};

// How the stages of an effect agree on where each global variable lies in
// the parameters' uniform block.
struct SharedBlock {
    std::vector<HlslSource::Id> variables; // every global variable some stage reaches, each once
    // Every stage declares all of them, so that their places come out alike;
    // else each declares what it reaches, at the place each takes when all
    // are declared together.
    bool declaredEverywhere = true;
};

struct StageResult {
    bool ok = false;
    std::vector<uint32_t> spirv;
    std::string messages;      // the errors when not ok, its warnings when ok
    std::string extra;         // what the follow-up made of it
};

// The caller's own work on a stage that compiled, done in the child right
// after it (and so kept from the caller the same way): `stage` indexes the
// stages given, the bytes it returns come back as the result's `extra`.
using StageFollowUp = std::function<std::string(size_t stage, const std::vector<uint32_t>& spirv)>;

// Told of each stage's result as it comes (in the caller's process), which it
// may take from; false stops the compile: no further stage is compiled.
using StageArrival = std::function<bool(size_t stage, StageResult& result)>;

// The processor time one effect's children may spend together: its stages
// and the check of its programs draw on it in turn, each child given what is
// left.
struct EffectShaderTime {
    EffectShaderTime(); // kEffectShaderSeconds, or its override
    double total = 0.0;
    double left = 0.0;
};

// Every stage compiled, one result each in the same order, in order as far
// as the first that fails: the stages after it are not compiled (not ok, no
// messages). Builds the tables first where needed. Compiles from different
// threads take turns.
std::vector<StageResult> CompileHlslStages(const HlslSource& source, const std::vector<StageSource>& stages,
                                           const SharedBlock& block, EffectShaderTime& time,
                                           const StageFollowUp& followUp = {}, const StageArrival& arrival = {});

// A program's two stage texts in the drawing's language (GLSL), as the
// drawing device compiles them.
struct GlslProgramText {
    std::string vertex;
    std::string pixel;
};

// Each program checked as the drawing device will take it: each stage's text
// compiles, and the two link. One answer a program, in order: "" when it
// does, else why not in one line. The checks run in a child process as the
// stages do, on what the stages left of the effect's processor time; a check
// that the child could not finish, or that none is left for, fails in words.
std::vector<std::string> CheckGlslPrograms(const std::vector<GlslProgramText>& programs, EffectShaderTime& time);

// The processor time a stage may take (each of the child's threads its own);
// past it the child is ended and the stage it was on fails. It counts what a
// runaway compile burns, so that a loaded machine slows a compile but never
// fails it.
inline constexpr double kShaderStageSeconds = 10.0;
// How long the child may go neither finishing a stage nor using the
// processor: it waits on nothing then. Too long for load to reach.
inline constexpr double kShaderStageIdleSeconds = 60.0;
// The processor time all stages of an effect and the check of its programs
// may take together, every child counted: far above any real effect's. Past
// it the effect fails in one line that names it.
inline constexpr double kEffectShaderSeconds = 30.0;

namespace detail {
// Test hooks. Runs in the compiling child before each stage with the stage's
// function name (a fault can be made there).
using StageCompileHook = void (*)(const std::string& function);
std::atomic<StageCompileHook>& StageCompileOverride();
// Replace kShaderStageSeconds, kShaderStageIdleSeconds and
// kEffectShaderSeconds when above 0.
std::atomic<double>& StageSecondsOverride();
std::atomic<double>& StageIdleSecondsOverride();
std::atomic<double>& EffectSecondsOverride();
// Counts each child, compiling or checking, as having spent this much of the
// effect's processor time when above 0, whatever it took.
std::atomic<double>& ChildSecondsOverride();
} // namespace detail

} // namespace gfx
