// Shader code as the shader compiler takes it: the bytes are the functions of
// an effect whose technique draws with VS and PS, so nearly every input
// reaches the shader compiler (which runs in a child process) and the
// translation after it. Whatever the code, the compile ends: an accepted
// effect must read back the same from its compiled form and draw a pass, and a
// refused one always says why.
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "fuzz/accepted_effect.h"
#include "platform/gfx/fx/effect_compiler.h"
#include "platform/gfx/fx/shader_compile.h"

namespace {

// With ZANDREL_FUZZ_STATS set, the share of inputs that get as far as the
// shader compiler is printed at exit. The compiler runs in a child process,
// so the child marks a page it shares with this one before each stage.
struct Stats {
    std::atomic<uint32_t>* reached = nullptr; // in the shared page
    unsigned long long inputs = 0;
    unsigned long long reachedInputs = 0;
    unsigned long long accepted = 0;
};

Stats* stats = nullptr;

void MarkReached(const std::string&)
{
    stats->reached->store(1, std::memory_order_relaxed);
}

void PrintStats()
{
    std::fprintf(stderr, "effect_compile: %llu inputs, %llu reached the shader compiler (%.1f%%), %llu accepted\n",
                 stats->inputs, stats->reachedInputs,
                 stats->inputs ? 100.0 * double(stats->reachedInputs) / double(stats->inputs) : 0.0,
                 stats->accepted);
}

// Null unless asked for, so that ordinary runs and the corpus replay go unhooked.
Stats* StartStats()
{
    if (!std::getenv("ZANDREL_FUZZ_STATS"))
        return nullptr;
    void* page = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return nullptr;
    static Stats counted;
    counted.reached = new (page) std::atomic<uint32_t>(0);
    stats = &counted;
    gfx::detail::StageCompileOverride().store(&MarkReached);
    std::atexit(PrintStats);
    return stats;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Stats* const counting = StartStats();
    static const std::string kBefore = "float4x4 World : WORLD;\n"
                                       "float4 Tint = float4(1, 1, 1, 1);\n"
                                       "float Lights[4];\n"
                                       "texture Picture;\n"
                                       "sampler2D PictureSampler = sampler_state { Texture = <Picture>; };\n";
    static const std::string kAfter = "\ntechnique fuzz { pass p { VertexShader = compile vs_3_0 VS(); "
                                      "PixelShader = compile ps_3_0 PS(); } }\n";
    const std::string source = kBefore + std::string(reinterpret_cast<const char*>(data), size) + kAfter;
    if (counting)
        counting->reached->store(0, std::memory_order_relaxed);
    gfx::EffectDescription description;
    std::string messages;
    const bool accepted = gfx::CompileEffectSource(source, "compile.fx", {}, {}, description, messages);
    if (counting) {
        ++counting->inputs;
        counting->reachedInputs += counting->reached->load(std::memory_order_relaxed);
        counting->accepted += accepted ? 1 : 0;
    }
    if (!accepted) {
        if (messages.find("): error X") == std::string::npos)
            std::abort(); // a refusal always says why, at a place
        return 0;
    }
    CheckAcceptedEffect(description);
    return 0;
}
