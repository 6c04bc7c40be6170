#pragma once
// Test hooks into the shader compiler's child process (platform/gfx/fx/
// shader_compile.h): make it crash, abort, hang, spin, wait a while or end
// without an answer on a chosen shader function, and shorten the time a stage
// may take.
#include <string>

namespace platform::testing {

// While alive, the compiling child meets the fault just before it compiles a
// stage of `function`; other stages compile as usual.
class ShaderCompilerFault {
public:
    enum class Kind {
        Crash, // a segmentation fault
        Abort, // abort()
        Hang,  // waits for ever, using no processor time
        Spin,  // busy for ever
        Exit,  // _exit(3), with no answer
        Starve, // a second and a half with the processor a millisecond in twenty, as on a loaded machine; then compiles
        OutOfMemory, // std::bad_alloc from the compile
    };
    ShaderCompilerFault(Kind kind, std::string function);
    ~ShaderCompilerFault();
    ShaderCompilerFault(const ShaderCompilerFault&) = delete;
    ShaderCompilerFault& operator=(const ShaderCompilerFault&) = delete;
};

// While alive, counts the stages the compiling children begin, in memory
// they share with the caller (no fault is met meanwhile).
class ShaderStageCounter {
public:
    ShaderStageCounter();
    ~ShaderStageCounter();
    ShaderStageCounter(const ShaderStageCounter&) = delete;
    ShaderStageCounter& operator=(const ShaderStageCounter&) = delete;
    // The stages begun since it was made.
    unsigned Begun() const;
};

// While alive, a stage may take `seconds` of processor time, and the child
// may go `idleSeconds` neither answering nor using the processor, before its
// compile is ended; with `effectSeconds`, the stages of an effect and the
// check of its programs together may take that much; with `childSeconds`,
// each child counts as having taken that much of it.
class ShaderStageTimeLimit {
public:
    ShaderStageTimeLimit(double seconds, double idleSeconds, double effectSeconds = 0.0, double childSeconds = 0.0);
    ~ShaderStageTimeLimit();
    ShaderStageTimeLimit(const ShaderStageTimeLimit&) = delete;
    ShaderStageTimeLimit& operator=(const ShaderStageTimeLimit&) = delete;

private:
    double saved_;
    double savedIdle_;
    double savedEffect_;
    double savedChild_;
};

} // namespace platform::testing
