// The effect compiler program run as the effect cache runs it: a child process in
// the folder that holds the source, with the command line already split.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "platform/os/process.h"
#include "tests/platform/gfx/fx/effect_test_support.h"

namespace {

namespace fs = std::filesystem;

struct ChildRun {
    int exitCode = -1;
    std::string output;
};

// Runs fxc.exe in `folder` with `args` (argv[0] empty, as a command line that
// begins with a blank gives), capturing standard output and error, with at
// most `addressSpace` bytes of address space when above 0; bounded to 30 seconds.
ChildRun RunCompiler(const fs::path& folder, const std::vector<std::string>& args, rlim_t addressSpace = 0)
{
    std::string program = std::string(ZANDREL_RUN_DIR) + "/tools/fxc.exe";
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    pid_t child = fork();
    if (child == 0) {
        if (addressSpace > 0) {
            const rlimit bound{addressSpace, addressSpace};
            setrlimit(RLIMIT_AS, &bound);
        }
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        std::string empty;
        argv.push_back(empty.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    ChildRun run;
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    for (;;) {
        char buffer[4096];
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            run.output.append(buffer, static_cast<size_t>(n));
            continue;
        }
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
                run.output.append(buffer, static_cast<size_t>(n));
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "fxc.exe did not end";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(pipeFds[0]);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

class FxcProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("zandrel_fxc_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "compiledshaders");
        fs::copy(effect_test::FixtureDir(), folder_, fs::copy_options::recursive);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::unique_ptr<gfx::RuntimeEffect> Load(const fs::path& path)
    {
        std::string bytes;
        EXPECT_TRUE(effect_test::ReadFile(path.string(), bytes)) << path;
        std::unique_ptr<gfx::RuntimeEffect> effect;
        std::string errors;
        EXPECT_EQ(gfx::RuntimeEffect::Create(bytes.data(), bytes.size(), {}, effect, errors), gfx::kEffectOk) << errors;
        return effect;
    }

    fs::path folder_;
};

TEST_F(FxcProgram, CompilesTheBaseEffectAndADefineVariant)
{
    fs::path base = folder_ / "compiledshaders/grammar.fxo";
    ChildRun plain = RunCompiler(folder_, {"/T", "fx_2_0", "/O3", "/Fo", base.string(), "grammar.fx"});
    EXPECT_EQ(plain.exitCode, 0) << plain.output;
    ASSERT_TRUE(fs::exists(base));
    std::unique_ptr<gfx::RuntimeEffect> baseEffect = Load(base);
    ASSERT_TRUE(baseEffect);
    EXPECT_TRUE(baseEffect->Defines().empty());
    EXPECT_EQ(baseEffect->FindParameter("exposureBias"), nullptr);

    // As the cache writes defines: " /D NAME=1 " pieces, split into arguments.
    fs::path variant = folder_ / "compiledshaders/grammar2113204530.fxo";
    ChildRun hdr = RunCompiler(folder_, {"/T", "fx_2_0", "/O3", "/Fo", variant.string(), "/D", "USE_HDR=1", "",
                                    "/D", "EXTRA=1", "grammar.fx"});
    EXPECT_EQ(hdr.exitCode, 0) << hdr.output;
    std::unique_ptr<gfx::RuntimeEffect> hdrEffect = Load(variant);
    ASSERT_TRUE(hdrEffect);
    EXPECT_EQ(hdrEffect->Defines(), (std::vector<std::string>{"USE_HDR", "EXTRA"}));
    EXPECT_NE(hdrEffect->FindParameter("exposureBias"), nullptr);
    EXPECT_EQ(hdrEffect->FindTechnique("post")->passes.size(), 2u);
    EXPECT_TRUE(fs::is_empty(folder_ / "compiledshaders") == false);
    for (const auto& entry : fs::directory_iterator(folder_ / "compiledshaders"))
        EXPECT_EQ(entry.path().extension(), ".fxo") << "left over: " << entry.path();
}

TEST_F(FxcProgram, TakesTheParameterTextTheEffectCacheBuilds)
{
    // The text begins with a blank, quotes the output path, and leaves two blanks
    // between define pieces and before the source name.
    std::string path = folder_.string() + "/compiledshaders/grammar2113204530.fxo";
    std::string parameters = " /T fx_2_0 /O3 /Fo \"" + path + "\" /D USE_HDR=1  /D WIND=1  grammar.fx";
    platform::os::ProcessResult result = platform::os::RunProgram(
        std::string(ZANDREL_RUN_DIR) + "/tools/fxc.exe", parameters, folder_.string());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0);
    std::unique_ptr<gfx::RuntimeEffect> effect = Load(path);
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->Defines(), (std::vector<std::string>{"USE_HDR", "WIND"}));
}

TEST_F(FxcProgram, ASyntaxErrorPrintsMessagesAndWritesNothing)
{
    std::ofstream(folder_ / "broken.fx") << "float4 ok;\n\nfloat4 bad = float4(1, 2;\n";
    fs::path out = folder_ / "compiledshaders/broken.fxo";
    ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/O3", "/Fo", out.string(), "broken.fx"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("broken.fx(3,25): error X3000: syntax error: unexpected token ';'"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::is_empty(folder_ / "compiledshaders"));
}

TEST_F(FxcProgram, ABrokenShaderBodyIsRefusedWithItsLineAndNothingIsWritten)
{
    // Each body is sound effect syntax; only the shader compiler sees the fault,
    // and the message names the line of the author's file (one included here).
    struct Case {
        std::string header;  // lib.fxh, included by broken.fx on its line 2
        std::string body;    // broken.fx from line 3 on
        std::string where;
        std::string text;
    } cases[] = {
        {"", "float4 PS() : COLOR\n{\n    float4 c = 1\n    return c;\n}\n", "broken.fx(6,5)", "error X3000: syntax error: unexpected token 'return', ';' expected"},
        {"", "float4 PS() : COLOR\n{\n    return missing;\n}\n", "broken.fx(5,12)", "error X3004: undeclared identifier 'missing'"},
        {"float4 Helper()\n{\n    return undeclaredThing;\n}\n", "float4 PS() : COLOR { return Helper(); }\n",
         "lib.fxh(3,12)", "error X3004: undeclared identifier 'undeclaredThing'"},
    };
    for (const Case& c : cases) {
        std::ofstream(folder_ / "lib.fxh") << c.header;
        std::ofstream(folder_ / "broken.fx")
            << "float4 Colour;\n#include \"lib.fxh\"\n" << c.body
            << "technique t { pass p { PixelShader = compile ps_3_0 PS(); } }\n";
        fs::path out = folder_ / "compiledshaders/broken.fxo";
        ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/O3", "/Fo", out.string(), "broken.fx"});
        EXPECT_NE(run.exitCode, 0) << c.body;
        EXPECT_NE(run.output.find(c.where), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.text), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(FxcProgram, BadCommandLinesAndMissingFilesFailCleanly)
{
    fs::path out = folder_ / "compiledshaders/x.fxo";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"/T", "fx_2_0", "/Fo", out.string(), "missing.fx"}, "failed to open source file: 'missing.fx'"},
        {{"/T", "fx_2_0", "/Fo", out.string()}, "no source file"},
        {{"/T", "fx_4_0", "/Fo", out.string(), "grammar.fx"}, "unsupported target profile 'fx_4_0'"},
        {{"/Fo", out.string(), "grammar.fx"}, "no target profile"},
        {{"/T", "fx_2_0", "grammar.fx"}, "no output file"},
        {{"/T", "fx_2_0", "/Fo"}, "/Fo needs a file name"},
        {{"/T", "fx_2_0", "/Q", "/Fo", out.string(), "grammar.fx"}, "unknown option '/Q'"},
        {{"/T", "fx_2_0", "/Fo", (folder_ / "no/such/folder/x.fxo").string(), "grammar.fx"},
         "cannot write the output file"},
    };
    for (const Case& c : cases) {
        ChildRun run = RunCompiler(folder_, c.args);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    EXPECT_TRUE(fs::is_empty(folder_ / "compiledshaders"));
}

TEST_F(FxcProgram, OnlyARegularFileOfBoundedSizeIsReadAndAPipeNeverWaits)
{
    // Nobody writes to the pipes: reading one would wait for ever.
    ASSERT_EQ(::mkfifo((folder_ / "pipe.fx").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((folder_ / "pipe.fxh").c_str(), 0600), 0);
    std::ofstream(folder_ / "includes.fx") << "float4 c;\n#include \"pipe.fxh\"\n";
    std::ofstream(folder_ / "huge.fx").close();
    fs::resize_file(folder_ / "huge.fx", (uintmax_t{256} << 20) + 1); // sparse: nothing is written
    // What an include may add is known before it is read: no more is read,
    // whatever size the file claims (a proc file's reads 0).
    std::ofstream(folder_ / "sparse.fxh").close();
    fs::resize_file(folder_ / "sparse.fxh", uintmax_t{256} << 20);
    std::ofstream(folder_ / "sparse.fx") << "#include \"sparse.fxh\"\n";
    std::ofstream(folder_ / "proc.fx") << "#include \"/proc/self/pagemap\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {"pipe.fx", "pipe.fx(0,0): error X1507: failed to open source file: 'pipe.fx': not a regular file (a folder, "
                    "pipe or device)\n"},
        {"includes.fx", "includes.fx(2,1): error X1005: cannot open include file 'pipe.fxh' (looked for as "
                        "'pipe.fxh'): not a regular file (a folder, pipe or device)\n"
                        "compilation failed; no code produced\n"},
        {"sparse.fx", "sparse.fx(1,1): error X1009: #include 'sparse.fxh' takes what includes add to the effect over "
                      "their bound of 4194304 bytes (4 MiB)\ncompilation failed; no code produced\n"},
        {"proc.fx", "proc.fx(1,1): error X1009: #include '/proc/self/pagemap' takes what includes add to the effect "
                    "over their bound of 4194304 bytes (4 MiB)\ncompilation failed; no code produced\n"},
        {"huge.fx", "huge.fx(0,0): error X1507: failed to open source file: 'huge.fx': 268435457 bytes, over the "
                    "bound of 268435456 bytes (256 MiB)\n"},
    };
    for (const auto& [source, output] : cases) {
        ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", (folder_ / "compiledshaders/x.fxo").string(), source});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.output, output);
    }
    EXPECT_TRUE(fs::is_empty(folder_ / "compiledshaders"));
}

TEST_F(FxcProgram, IncludesAreFoundAsThePlatformNamesThem)
{
    // A backslash separates folders, and a name that differs only in letter
    // case is the same file when the exact one is missing; an include is
    // looked for beside its includers, then where the compiler runs.
    fs::create_directories(folder_ / "Shaders/lib");
    fs::create_directories(folder_ / "headers");
    std::ofstream(folder_ / "Shaders/lib/math.fxh") << "#include \"..\\..\\HEADERS\\Colour.FXH\"\n"
                                                      "float4 Scale(float4 c) { return c * Half; }\n";
    std::ofstream(folder_ / "headers/colour.fxh") << "static const float Half = 0.5;\n";
    std::ofstream(folder_ / "main.fx") << "#include \"shaders\\LIB\\Math.fxh\"\n"
                                          "float4 PS() : COLOR { return Scale(1); }\n"
                                          "technique t { pass p { PixelShader = compile ps_3_0 PS(); } }\n";
    std::ofstream(folder_ / "missing.fx") << "\n#include \"Shaders\\nowhere.fxh\"\n";
    const fs::path out = folder_ / "compiledshaders/x.fxo";
    ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", out.string(), "main.fx"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::exists(out));
    run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", out.string(), "missing.fx"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "missing.fx(2,1): error X1005: cannot open include file 'Shaders\\nowhere.fxh' (looked for "
                          "as 'Shaders/nowhere.fxh'): no such file, in any letter case\n"
                          "compilation failed; no code produced\n");

    // fx/main.fx includes lib/a.fxh beside it, which includes one file beside
    // main.fx and one only in the folder fxc.exe runs in.
    fs::create_directories(folder_ / "fx/lib");
    std::ofstream(folder_ / "fx/main.fx") << "#include \"lib/a.fxh\"\n"
                                             "float4 PS() : COLOR { return Half * Quarter; }\n"
                                             "technique t { pass p { PixelShader = compile ps_3_0 PS(); } }\n";
    std::ofstream(folder_ / "fx/lib/a.fxh") << "#include \"HALF.fxh\"\n#include \"quarter.fxh\"\n";
    std::ofstream(folder_ / "fx/half.fxh") << "static const float Half = 0.5;\n";
    std::ofstream(folder_ / "quarter.fxh") << "static const float Quarter = 0.25;\n";
    fs::remove(out);
    run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", out.string(), "fx/main.fx"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::exists(out));
    // What is not text is refused without a word of it.
    std::ofstream(folder_ / "environ.fx") << "#include \"/proc/self/environ\"\n";
    run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", out.string(), "environ.fx"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output.rfind("environ.fx(1,1): error X1005: include file '/proc/self/environ' is not text: its line ",
                               0),
              0u)
        << run.output;
    EXPECT_NE(run.output.find(" holds a NUL byte\ncompilation failed; no code produced\n"), std::string::npos);
    EXPECT_EQ(run.output.find('='), std::string::npos) << run.output;
}

TEST_F(FxcProgram, AShaderTheCompilerDiesOnIsAnErrorLineOfItsFileInBothCompiles)
{
    // data/post_diff.fx with a line appended that glslang's HLSL front end is
    // known to crash on.
    std::string text;
    ASSERT_TRUE(effect_test::ReadFile(std::string(ZANDREL_SOURCE_DIR) + "/data/post_diff.fx", text));
    if (text.back() != '\n')
        text += '\n';
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    text += "float4 TypoPS():COLOR0{return undefinedName++;} "
            "technique typo{pass p0{PixelShader=compile ps_2_0 TypoPS();}}\n";
    std::ofstream(folder_ / "post_diff.fx") << text;
    const fs::path out = folder_ / "compiledshaders/post_diff.fxo";
    ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/O3", "/Fo", out.string(), "post_diff.fx"});
    EXPECT_GE(run.exitCode, 1);
    EXPECT_LE(run.exitCode, 127);
    const std::string where = "post_diff.fx(" + std::to_string(line) + ",";
    EXPECT_EQ(run.output.rfind(where, 0), 0u) << run.output;
    EXPECT_NE(run.output.find("error X3000: "), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out));

    std::unique_ptr<gfx::RuntimeEffect> effect;
    std::string errors;
    EXPECT_EQ(gfx::RuntimeEffect::Create(text.data(), text.size(), {}, effect, errors, "post_diff.fx"),
              gfx::kEffectInvalidData);
    EXPECT_EQ(errors.rfind(where, 0), 0u) << errors;
    EXPECT_NE(run.output.find(errors), std::string::npos) << run.output << "\n" << errors;
}

TEST_F(FxcProgram, MemoryThatRunsShortIsAnErrorLineNeverAnAbort)
{
#if ZANDREL_SANITIZE || ZANDREL_TSAN
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit an address-space bound";
#endif
    // The demonstration's largest effect, made larger: the smaller bounds run
    // short reading it, which only fxc.exe's own catch can say.
    const fs::path out = folder_ / "compiledshaders/shadowDemo.fxo";
    fs::copy_file(fs::path(ZANDREL_RUN_DIR) / "shadowDemo.fx", folder_ / "shadowDemo.fx");
    std::ofstream(folder_ / "shadowDemo.fx", std::ios::app) << "string padding = \"" << std::string(4 << 20, 'a')
                                                             << "\";\n";
    // Each bound runs short at a different step: reading, the tables, their
    // thread, the compiling child, or none.
    for (rlim_t megabytes : {15, 20, 30, 40, 60, 100, 200}) {
        fs::remove(out);
        ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", out.string(), "shadowDemo.fx"}, megabytes << 20);
        const bool said =
            run.output.rfind("shadowDemo.fx(", 0) == 0 && run.output.find("terminate") == std::string::npos;
        EXPECT_TRUE(run.exitCode == 0 ? fs::exists(out) : run.exitCode == 1 && said) << megabytes << " MB: " << run.output;
    }
}

TEST_F(FxcProgram, CompilerAndInMemoryCompileAgree)
{
    // The same parser serves both: a file the program refuses is refused in memory
    // with the same messages.
    const std::string refused[] = {
        "technique t { pass p { PixelShader = compile ps_2_0 missing(); } }\n",
        "technique T { pass P { Lighting = true; ColorOp[0] = Modulate; NoSuchState = 3; CullMode = Bogus; } }\n",
        "technique T { pass P { CullMode = Bogus; } }\n",
        "sampler S = sampler_state { MinFilter = Bogus; };\n",
        "technique T { pass P { PixelShader = asm { ps_2_0 mov oC0, c0 }; } }\n",
    };
    for (const std::string& text : refused) {
        std::ofstream(folder_ / "refused.fx") << text;
        ChildRun run = RunCompiler(folder_, {"/T", "fx_2_0", "/Fo", (folder_ / "compiledshaders/u.fxo").string(), "refused.fx"});
        EXPECT_EQ(run.exitCode, 1) << text;
        std::unique_ptr<gfx::RuntimeEffect> effect;
        std::string errors;
        EXPECT_EQ(gfx::RuntimeEffect::Create(text.data(), text.size(), {}, effect, errors, "refused.fx"),
                  gfx::kEffectInvalidData);
        EXPECT_NE(errors.find("refused.fx(1,"), std::string::npos) << errors;
        EXPECT_NE(run.output.find(errors), std::string::npos) << run.output << "\n" << errors;
        EXPECT_FALSE(fs::exists(folder_ / "compiledshaders/u.fxo"));
    }
}

} // namespace
