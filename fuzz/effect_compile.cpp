// Shader code as the shader compiler takes it: the bytes are the functions of
// an effect whose technique draws with VS and PS, compiled as they are, so that
// the shader compiler (which runs in a child process) and the translation after
// it get the code. Whatever the code, the compile ends: an accepted effect must
// read back the same from its compiled form and draw a pass, and a refused one
// always says why. The mutations keep the text one the effect reader takes
// (LLVMFuzzerCustomMutator below), since effect_parser tries the rest; its
// dictionary is effect_compile.dict (-dict=).
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/accepted_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/parser/effect_parser.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"
#include "platform/gfx/fx/hlsl/shader_compile.h"
#include "platform/gfx/fx/hlsl/shader_entry.h"

namespace {

const std::string kFileName = "compile.fx";

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

// The effect reader refuses a byte outside its character set, a string or a
// block comment left open, a closing bracket without its opening one and an
// opening one never closed, before the shader compiler sees any of it. Nearly
// every plain mutation makes one of those; this undoes them with few changes:
// bad bytes, lone quotes and comment starts become blanks, stray closers become
// blanks, and missing closers are added at the end (or, with no room, their
// openers become blanks). Preprocessor lines are left as they are.
size_t KeepReadable(uint8_t* data, size_t size, size_t maxSize)
{
    static const std::string_view kSymbols = "{}()[];,:=<>+-*/%.!~&|^?";
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto lineEnd = [&](size_t i) { return std::min(text.find('\n', i), size); };
    std::vector<size_t> open; // unclosed brackets, innermost last
    bool lineStart = true;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '\n') {
            lineStart = true;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v')
            continue;
        const bool directive = c == '#' && lineStart;
        lineStart = false;
        if (directive || text.substr(i, 2) == "//") {
            i = lineEnd(i) - 1;
            continue;
        }
        if (text.substr(i, 2) == "/*") {
            const size_t close = text.find("*/", i + 2);
            if (close == std::string_view::npos)
                data[i] = ' ';
            else
                i = close + 1;
            continue;
        }
        if (c == '"') {
            size_t k = i + 1;
            while (k < size && text[k] != '"' && text[k] != '\n')
                k += text[k] == '\\' && k + 1 < size && text[k + 1] != '\n' ? 2 : 1;
            if (k < size && text[k] == '"')
                i = k;
            else
                data[i] = ' ';
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(i);
            continue;
        }
        if (c == ')' || c == ']' || c == '}') {
            const char opener = c == ')' ? '(' : c == ']' ? '[' : '{';
            if (!open.empty() && text[open.back()] == opener)
                open.pop_back();
            else
                data[i] = ' ';
            continue;
        }
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!word && kSymbols.find(c) == std::string_view::npos)
            data[i] = ' ';
    }
    for (; !open.empty(); open.pop_back()) {
        const char opener = static_cast<char>(data[open.back()]);
        if (size < maxSize)
            data[size++] = opener == '(' ? ')' : opener == '[' ? ']' : '}';
        else
            data[open.back()] = ' ';
    }
    return size;
}

// The effect around the input: parameters its functions may use, and the
// technique that draws with VS and PS.
std::string Wrap(const uint8_t* data, size_t size)
{
    static const std::string kBefore = "float4x4 World : WORLD;\n"
                                       "float4 Tint = float4(1, 1, 1, 1);\n"
                                       "float Lights[4];\n"
                                       "texture Picture;\n"
                                       "sampler2D PictureSampler = sampler_state { Texture = <Picture>; };\n";
    static const std::string kAfter = "\ntechnique fuzz { pass p { VertexShader = compile vs_3_0 VS(); "
                                      "PixelShader = compile ps_3_0 PS(); } }\n";
    return kBefore + std::string(reinterpret_cast<const char*>(data), size) + kAfter;
}

// What the effect compiler checks before any stage goes to the shader
// compiler: the effect preprocesses and parses, and every pass's functions
// can be wrapped as entry points.
bool ReachesShaderCompiler(const uint8_t* data, size_t size)
{
    std::string text, messages;
    gfx::EffectDescription effect;
    if (!gfx::PreprocessEffect(Wrap(data, size), kFileName, {}, {}, text, messages) ||
        !gfx::ParseEffect(text, kFileName, effect, messages))
        return false;
    for (const gfx::EffectTechnique& technique : effect.techniques) {
        for (const gfx::EffectPass& pass : technique.passes) {
            gfx::ShaderEntry vs, ps;
            std::vector<gfx::Varying> written = gfx::PassThroughVaryings();
            if (!pass.vertexShader.profile.empty()) {
                if (!gfx::MakeVertexEntry(effect, pass.vertexShader, vs, messages))
                    return false;
                written = vs.varyings;
            }
            if (!pass.pixelShader.profile.empty() &&
                !gfx::MakePixelEntry(effect, pass.pixelShader, written, ps, messages))
                return false;
        }
    }
    return true;
}

} // namespace

// libFuzzer's own; absent from the corpus replay, which mutates nothing.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize) __attribute__((weak));

// libFuzzer's mutations, repaired, until one gives code the shader compiler
// gets (or the tries run out, and the last one is run anyway).
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int)
{
    constexpr int kTries = 16;
    const std::vector<uint8_t> original(data, data + size);
    size_t mutated = size;
    for (int k = 0; k < kTries; ++k) {
        std::copy(original.begin(), original.end(), data);
        mutated = KeepReadable(data, LLVMFuzzerMutate(data, size, maxSize), maxSize);
        if (ReachesShaderCompiler(data, mutated))
            break;
    }
    return mutated;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Stats* const counting = StartStats();
    const std::string source = Wrap(data, size);
    if (counting)
        counting->reached->store(0, std::memory_order_relaxed);
    gfx::EffectDescription description;
    std::string messages;
    const bool accepted = gfx::CompileEffectSource(source, kFileName, {}, {}, description, messages);
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
