// The shader compiler runs apart from the caller: whatever it meets, a crash,
// an abort, a hang or an early end, the effect fails with an error at the line
// of the shader function it was compiling, and the caller goes on.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/gfx/fx/effect_compiler.h"
#include "testing/shader_compile_hooks.h"

using namespace gfx;
using platform::testing::ShaderCompilerFault;

namespace {

TEST(FxShaderIsolation, AChildThatDiesHangsOrEndsEarlyFailsItsStageWithTheCause)
{
    const std::string source = "float4 Tint;\n"
                               "float4 Good() : COLOR0 { return Tint; }\n"
                               "float4 Bad() : COLOR0 { return Tint * 2; }\n"
                               "technique t {\n"
                               "    pass a { PixelShader = compile ps_2_0 Good(); }\n"
                               "    pass b { PixelShader = compile ps_2_0 Bad(); }\n"
                               "}\n";
    platform::testing::ShaderStageTimeLimit limit(1.0);
    struct Case {
        ShaderCompilerFault::Kind kind;
        std::string cause;
    } cases[] = {
        {ShaderCompilerFault::Kind::Crash, "was ended by signal 11 (Segmentation fault)"},
        {ShaderCompilerFault::Kind::Abort, "was ended by signal 6 (Aborted)"},
        {ShaderCompilerFault::Kind::Exit, "ended with exit code 3 and no answer"},
        {ShaderCompilerFault::Kind::Hang, "ran past its time limit of 1 s"},
    };
    // A caller with threads of its own gets a child that compiles one stage at
    // a time; a caller alone, one that compiles them side by side.
    for (bool companion : {false, true})
    for (const Case& c : cases) {
        std::promise<void> release;
        std::thread other;
        if (companion)
            other = std::thread([done = release.get_future()] { done.wait(); });
        EffectDescription d;
        std::string messages;
        {
            ShaderCompilerFault fault(c.kind, "Bad");
            EXPECT_FALSE(CompileEffectSource(source, "e.fx", {}, {}, d, messages));
        }
        release.set_value();
        if (other.joinable())
            other.join();
        EXPECT_EQ(messages, "e.fx(3,1): error X3000: the shader compiler " + c.cause + " while compiling 'Bad'\n");
        // The stages it did not die on were compiled: without the fault all is well.
        messages.clear();
        EXPECT_TRUE(CompileEffectSource(source, "e.fx", {}, {}, d, messages)) << messages;
        ASSERT_EQ(d.techniques.size(), 1u);
        EXPECT_FALSE(d.techniques[0].passes[1].program.pixel.spirv.empty());
    }
}

} // namespace
