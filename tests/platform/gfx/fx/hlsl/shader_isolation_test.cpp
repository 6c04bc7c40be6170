// The shader compiler runs apart from the caller: whatever it meets, a crash,
// an abort, a hang, a runaway, a shortage of memory or an early end, the
// effect fails with an error at the line of the shader function it was
// compiling, and the caller goes on. Only processor time counts against a
// stage.
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <thread>

#include "platform/gfx/fx/compiled/effect_compiler.h"
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

// A thread of the caller's own, waiting until it goes. It waits before the
// compile copies the process: a thread caught starting may hold a
// sanitizer's lock that the copy would then wait on for ever.
struct Companion {
    Companion() { waiting.get_future().wait(); }
    ~Companion()
    {
        release.set_value();
        thread.join();
    }
    std::promise<void> waiting, release;
    std::future<void> released = release.get_future();
    std::thread thread{[this] { waiting.set_value(), released.wait(); }};
};

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
        std::optional<Companion> other;
        if (companion)
            other.emplace();
        EffectDescription d;
        std::string messages;
        bool compiled = false;
        {
            ShaderCompilerFault fault(c.kind, "Bad");
            compiled = CompileEffectSource(kSource, "e.fx", {}, {}, d, messages);
        }
        other.reset();
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
        EXPECT_FALSE(d.techniques[0].passes[1].program->pixel.spirv.empty());
    }
}

// Functions for the passes below: one that compiles, one that does not, and
// one the fault meets.
const std::string kFunctions = "float4 Tint;\n"
                               "float4 Good(uniform float k) : COLOR0 { return Tint * k; }\n"
                               "float4 Broken(uniform float k) : COLOR0 { return Missing * k; }\n"
                               "float4 Bad(uniform float k) : COLOR0 { return Tint * k; }\n";

// `count` passes, each compiling `function` with an argument of its own, so
// that each is a stage of its own.
std::string Passes(const std::string& function, int first, int count)
{
    std::string passes;
    for (int i = first; i < first + count; ++i)
        passes += "    pass p" + std::to_string(i) + " { PixelShader = compile ps_3_0 " + function + "(" +
                  std::to_string(i) + "); }\n";
    return passes;
}

TEST(FxShaderIsolation, AfterAFailedStageNoFurtherStageIsCompiledAndTheFirstFailingPassSpeaks)
{
    struct Case {
        std::string name;
        std::string passes;
        std::string message;
    } cases[] = {
        // Stages after the broken one crash the compiler, some of them while
        // it is compiled beside them: the broken pass, first in the file, speaks.
        {"error before crashes", Passes("Good", 0, 3) + Passes("Broken", 3, 1) + Passes("Bad", 4, 40),
         "e.fx(3,50): error X3004: undeclared identifier 'Missing'\n"},
        // Every stage crashes: the first one's crash is said, one child having
        // compiled them.
        {"all crash", Passes("Bad", 0, 60),
         "e.fx(4,1): error X3000: the shader compiler was ended by signal 11 (Segmentation fault) while compiling "
         "'Bad'\n"},
    };
    for (const Case& c : cases) {
        for (int run = 0; run < 3; ++run) {
            EffectDescription d;
            std::string messages;
            ShaderCompilerFault fault(ShaderCompilerFault::Kind::Crash, "Bad");
            EXPECT_FALSE(CompileEffectSource(kFunctions + "technique t {\n" + c.passes + "}\n", "e.fx", {}, {}, d,
                                             messages));
            EXPECT_EQ(messages.substr(0, messages.find('\n') + 1), c.message) << c.name;
        }
    }
}

TEST(FxShaderIsolation, ABrokenFirstPassStopsTheStagesOfThePassesAfterIt)
{
    // One stage at a time (the caller has a thread besides), so that what
    // begins does not hang on how the machine shares its processors: the
    // stages of the broken pass alone (its stand-in vertex stage, then the
    // broken one), not the 400 passes after it.
    Companion other;
    platform::testing::ShaderStageCounter counter;
    EffectDescription d;
    std::string messages;
    EXPECT_FALSE(CompileEffectSource(
        kFunctions + "technique t {\n" + Passes("Broken", 0, 1) + Passes("Good", 1, 400) + "}\n", "e.fx", {}, {}, d,
        messages));
    EXPECT_EQ(messages, "e.fx(3,50): error X3004: undeclared identifier 'Missing'\n");
    EXPECT_EQ(counter.Begun(), 2u);
}

TEST(FxShaderIsolation, AnEffectsStagesTogetherHaveABudgetOfProcessorTime)
{
    // Each stage within its own limit, the effect past its budget: refused in
    // one line naming the budget.
    platform::testing::ShaderStageTimeLimit limit(30.0, 30.0, 0.5);
    EffectDescription d;
    std::string messages;
    ShaderCompilerFault fault(ShaderCompilerFault::Kind::Spin, "Bad");
    EXPECT_FALSE(CompileEffectSource(kSource, "e.fx", {}, {}, d, messages));
    EXPECT_EQ(messages, "e.fx(3,1): error X3000: the shader compiler ran past the effect's budget of 0.5 s of "
                        "processor time while compiling 'Bad'\n");
}

TEST(FxShaderIsolation, TheCheckOfAnEffectsProgramsHasWhatItsStagesLeftOfTheBudget)
{
    // The stages' child counted as taking the whole budget: none is left for the check.
    platform::testing::ShaderStageTimeLimit limit(30.0, 30.0, 1.0, 1.0);
    EffectDescription d;
    std::string messages;
    EXPECT_FALSE(CompileEffectSource(kSource, "e.fx", {}, {}, d, messages));
    EXPECT_EQ(messages, "e.fx(2,1): error X3000: pass 'a' of technique 't': the check of its stages made for drawing "
                        "ran past the effect's budget of 1 s of processor time\n");
}

} // namespace
