// The shader compiler runs apart from the caller: whatever it meets, a crash,
// an abort, a hang, a runaway, a shortage of memory or an early end, the
// effect fails with an error at the line of the shader function it was
// compiling, and the caller goes on. Only processor time counts against a
// stage.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/gfx/fx/effect_compiler.h"
#include "testing/shader_compile_hooks.h"

using namespace gfx;
using platform::testing::ShaderCompilerFault;

namespace {

const std::string kSource = "float4 Tint;\n"
                            "float4 Good() : COLOR0 { return Tint; }\n"
                            "float4 Bad() : COLOR0 { return Tint * 2; }\n"
                            "technique t {\n"
                            "    pass a { PixelShader = compile ps_2_0 Good(); }\n"
                            "    pass b { PixelShader = compile ps_2_0 Bad(); }\n"
                            "}\n";

TEST(FxShaderIsolation, AChildThatDiesHangsRunsAwayOrEndsEarlyFailsItsStageWithTheCause)
{
    platform::testing::ShaderStageTimeLimit limit(1.0, 1.0);
    struct Case {
        ShaderCompilerFault::Kind kind;
        std::string cause; // "" compiles
    } cases[] = {
        {ShaderCompilerFault::Kind::Crash, "was ended by signal 11 (Segmentation fault)"},
        {ShaderCompilerFault::Kind::Abort, "was ended by signal 6 (Aborted)"},
        {ShaderCompilerFault::Kind::Exit, "ended with exit code 3 and no answer"},
        {ShaderCompilerFault::Kind::OutOfMemory, "ran out of memory"},
        {ShaderCompilerFault::Kind::Hang, "ran past its limit of 1 s without using the processor"},
        {ShaderCompilerFault::Kind::Spin, "ran past its limit of 1 s of processor time"},
        // Longer than both limits by the wall clock, as on a loaded machine.
        {ShaderCompilerFault::Kind::Starve, ""},
    };
    // A caller with threads of its own gets a child that compiles one stage at
    // a time; a caller alone, one that compiles them side by side.
    for (bool companion : {false, true})
    for (const Case& c : cases) {
        std::promise<void> release, waiting;
        std::thread other;
        // Waiting before the compile copies the process: a thread caught starting
        // may hold a sanitizer's lock that the copy would then wait on for ever.
        if (companion) {
            other = std::thread([&waiting, done = release.get_future()] { waiting.set_value(), done.wait(); });
            waiting.get_future().wait();
        }
        EffectDescription d;
        std::string messages;
        bool compiled = false;
        {
            ShaderCompilerFault fault(c.kind, "Bad");
            compiled = CompileEffectSource(kSource, "e.fx", {}, {}, d, messages);
        }
        release.set_value();
        if (other.joinable())
            other.join();
        if (c.cause.empty()) {
            EXPECT_TRUE(compiled) << messages;
            continue;
        }
        EXPECT_FALSE(compiled);
        EXPECT_EQ(messages, "e.fx(3,1): error X3000: the shader compiler " + c.cause + " while compiling 'Bad'\n");
        // The stages it did not die on were compiled: without the fault all is well.
        messages.clear();
        EXPECT_TRUE(CompileEffectSource(kSource, "e.fx", {}, {}, d, messages)) << messages;
        ASSERT_EQ(d.techniques.size(), 1u);
        EXPECT_FALSE(d.techniques[0].passes[1].program.pixel.spirv.empty());
    }
}

} // namespace
