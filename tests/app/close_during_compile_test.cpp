// A close signal while an effect compiles, by the effect compiler or in
// memory, ends the compile and the program in its normal order: exit code 0,
// no box, and no compiling process left behind.
#include <gtest/gtest.h>

#include <fstream>

#include "testing/process_watch.h"
#include "tests/support/program_run.h"

using namespace zandrel_test;

namespace {

// The first process `pid` has started (deep 1) or that one of those has (deep 2).
pid_t WaitForDescendant(pid_t pid, int deep)
{
    for (int i = 0; i < 6000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        for (pid_t child : ChildrenOf(pid))
            if (const std::vector<pid_t> below = ChildrenOf(child); deep == 1 || !below.empty())
                return deep == 1 ? child : below.front();
    return 0;
}

// A pixel shader whose calls double at each of 30 levels: the shader compiler
// works on it far past any limit.
std::string HangingTechnique()
{
    std::string text = "\nfloat4 h0(float4 x) { return x * 0.25; }\n";
    for (int i = 1; i < 30; ++i)
        text += "float4 h" + std::to_string(i) + "(float4 x) { return h" + std::to_string(i - 1) + "(x) + h" +
                std::to_string(i - 1) + "(x * 0.5); }\n";
    return text + "float4 HangPS() : COLOR0 { return h29(float4(1, 1, 1, 1)); }\n"
                  "technique hang { pass p { PixelShader = compile ps_3_0 HangPS(); } }\n";
}

class CloseDuringCompile : public ::testing::TestWithParam<bool> {};

TEST_P(CloseDuringCompile, EndsTheCompileAndTheProgramInOrder)
{
    const bool byCompiler = GetParam(); // else in memory: the cache holds a folder where the file should be
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ProgramRun program("[Graphics]\nwidth=64\nheight=64\n");
        std::ofstream(program.Dir() / "post_diff.fx", std::ios::app) << HangingTechnique();
        fs::remove(program.Dir() / "compiledshaders/post_diff.fxo");
        if (!byCompiler)
            fs::create_directory(program.Dir() / "compiledshaders/post_diff.fxo");
        ASSERT_TRUE(program.Start());
        // The shader compiler's own process: fxc.exe's child, or the program's.
        const pid_t compiling = WaitForDescendant(program.Pid(), byCompiler ? 2 : 1);
        ASSERT_NE(compiling, 0) << program.Out();
        program.Signal(signal);
        EXPECT_EQ(program.Wait(), 0) << program.Out() << program.Err();
        const std::string out = program.Out();
        EXPECT_EQ(program.Err(), ""); // where a box would have gone
        EXPECT_NE(out.find("Shader post_diff.fx was not compiled: the program is closing.\n"), std::string::npos)
            << out;
        EXPECT_EQ(out.find("/tools/fxc.exe was ended: the program is closing.\n") != std::string::npos, byCompiler)
            << out;
        EXPECT_EQ(LinesAmong(out, ReleaseLines()), ReleaseLines());
        EXPECT_TRUE(EndsWithin(compiling, ProgramRun::kPatience)) << "the compiling process outlived the program";
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, CloseDuringCompile, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "ByTheEffectCompiler" : "InMemory"; });

} // namespace
