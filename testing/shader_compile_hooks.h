#pragma once
// Test hooks into the shader compiler's child process (platform/gfx/fx/
// shader_compile.h): make it crash, abort, hang or end without an answer on a
// chosen shader function, and shorten the time a stage may take.
#include <string>

namespace platform::testing {

// While alive, the compiling child meets the fault just before it compiles a
// stage of `function`; other stages compile as usual.
class ShaderCompilerFault {
public:
    enum class Kind {
        Crash, // a segmentation fault
        Abort, // abort()
        Hang,  // waits for ever
        Exit,  // _exit(3), with no answer
    };
    ShaderCompilerFault(Kind kind, std::string function);
    ~ShaderCompilerFault();
    ShaderCompilerFault(const ShaderCompilerFault&) = delete;
    ShaderCompilerFault& operator=(const ShaderCompilerFault&) = delete;
};

// While alive, a stage may take `seconds` before its compile is ended.
class ShaderStageTimeLimit {
public:
    explicit ShaderStageTimeLimit(double seconds);
    ~ShaderStageTimeLimit();
    ShaderStageTimeLimit(const ShaderStageTimeLimit&) = delete;
    ShaderStageTimeLimit& operator=(const ShaderStageTimeLimit&) = delete;

private:
    double saved_;
};

} // namespace platform::testing
