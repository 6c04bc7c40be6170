#include "testing/shader_compile_hooks.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/gfx/fx/shader_compile.h"

namespace platform::testing {

namespace {

// Read in the child, which has its own copy: set before any compile starts.
ShaderCompilerFault::Kind faultKind = ShaderCompilerFault::Kind::Crash;
std::string faultFunction;

void MeetFault(const std::string& function)
{
    if (function != faultFunction)
        return;
    switch (faultKind) {
    case ShaderCompilerFault::Kind::Crash:
        ::raise(SIGSEGV);
        break;
    case ShaderCompilerFault::Kind::Abort:
        std::abort();
    case ShaderCompilerFault::Kind::Hang:
        for (;;)
            ::pause();
    case ShaderCompilerFault::Kind::Exit:
        ::_exit(3);
    }
}

} // namespace

ShaderCompilerFault::ShaderCompilerFault(Kind kind, std::string function)
{
    faultKind = kind;
    faultFunction = std::move(function);
    gfx::detail::StageCompileOverride().store(&MeetFault);
}

ShaderCompilerFault::~ShaderCompilerFault()
{
    gfx::detail::StageCompileOverride().store(nullptr);
}

ShaderStageTimeLimit::ShaderStageTimeLimit(double seconds)
    : saved_(gfx::detail::StageSecondsOverride().exchange(seconds))
{
}

ShaderStageTimeLimit::~ShaderStageTimeLimit()
{
    gfx::detail::StageSecondsOverride().store(saved_);
}

} // namespace platform::testing
