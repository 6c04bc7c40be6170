#include "testing/shader_compile_hooks.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "platform/gfx/fx/hlsl/shader_compile.h"

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
    case ShaderCompilerFault::Kind::Spin:
        for (std::atomic<unsigned> turns{0};;)
            turns.fetch_add(1);
    case ShaderCompilerFault::Kind::Exit:
        ::_exit(3);
    case ShaderCompilerFault::Kind::Starve: {
        // The processor a millisecond in twenty, as a loaded machine gives it.
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500)) {
            const auto slice = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - slice < std::chrono::milliseconds(1)) {
            }
            ::usleep(19000);
        }
        break;
    }
    case ShaderCompilerFault::Kind::OutOfMemory:
        throw std::bad_alloc();
    }
}

// Shared with the compiling children, which count into it.
std::atomic<unsigned>* stagesBegun = nullptr;

void CountStage(const std::string&)
{
    stagesBegun->fetch_add(1);
}

} // namespace

ShaderStageCounter::ShaderStageCounter()
{
    void* memory = ::mmap(nullptr, sizeof(std::atomic<unsigned>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                          -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    stagesBegun = new (memory) std::atomic<unsigned>(0);
    gfx::detail::StageCompileOverride().store(&CountStage);
}

ShaderStageCounter::~ShaderStageCounter()
{
    gfx::detail::StageCompileOverride().store(nullptr);
    ::munmap(stagesBegun, sizeof(std::atomic<unsigned>));
    stagesBegun = nullptr;
}

unsigned ShaderStageCounter::Begun() const
{
    return stagesBegun->load();
}

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

ShaderStageTimeLimit::ShaderStageTimeLimit(double seconds, double idleSeconds, double effectSeconds,
                                           double childSeconds)
    : saved_(gfx::detail::StageSecondsOverride().exchange(seconds)),
      savedIdle_(gfx::detail::StageIdleSecondsOverride().exchange(idleSeconds)),
      savedEffect_(gfx::detail::EffectSecondsOverride().exchange(effectSeconds)),
      savedChild_(gfx::detail::ChildSecondsOverride().exchange(childSeconds))
{
}

ShaderStageTimeLimit::~ShaderStageTimeLimit()
{
    gfx::detail::StageSecondsOverride().store(saved_);
    gfx::detail::StageIdleSecondsOverride().store(savedIdle_);
    gfx::detail::EffectSecondsOverride().store(savedEffect_);
    gfx::detail::ChildSecondsOverride().store(savedChild_);
}

} // namespace platform::testing
