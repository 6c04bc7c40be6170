#include "platform/gfx/fx/shader_compile.h"

#include <atomic>
#include <mutex>
#include <sstream>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>

#include "platform/gfx/fx/effect_message.h"

namespace gfx {

namespace {

void InitialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { glslang::InitializeProcess(); });
}

std::atomic<bool> prepared{false};

constexpr EShMessages kFlags = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules |
                                                        EShMsgEnhanced | EShMsgSuppressWarnings);

// Every stage is read the same way: the built-in tables are shared by all that
// agree on language, version and target.
void Configure(glslang::TShader& shader, EShLanguage language)
{
    shader.setEnvInput(glslang::EShSourceHlsl, language, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setAutoMapBindings(true);
}

int CountLines(const std::string& text)
{
    int lines = 1;
    for (char c : text)
        lines += c == '\n' ? 1 : 0;
    return lines;
}

// glslang reports "ERROR: 0:LINE: 'token' : text" and, for a parse failure,
// "0(LINE): error at column COL, HLSL parsing failed."; each error becomes one
// message at the author's file and line.
std::string Translate(const std::string& log, const HlslSource& source, int sourceLines,
                      const HlslSource::Origin& blame)
{
    struct Error {
        int line = 0;
        int column = 1;
        std::string text;
    };
    std::vector<Error> errors;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ERROR: 0:", 0) == 0) {
            const size_t colon = line.find(':', 9);
            if (colon == std::string::npos)
                continue;
            Error e;
            e.line = std::atoi(line.c_str() + 9);
            e.text = line.substr(colon + 1);
            while (!e.text.empty() && (e.text.front() == ' '))
                e.text.erase(e.text.begin());
            while (!e.text.empty() && (e.text.back() == ' ' || e.text.back() == '\r'))
                e.text.pop_back();
            errors.push_back(e);
        } else if (line.rfind("0(", 0) == 0 && line.find("error at column") != std::string::npos) {
            const int at = std::atoi(line.c_str() + 2);
            const int column = std::atoi(line.c_str() + line.find("column") + 7);
            for (Error& e : errors)
                if (e.line == at)
                    e.column = column;
        }
    }
    std::string out;
    for (const Error& e : errors) {
        const HlslSource::Origin origin = e.line >= 1 && e.line <= sourceLines ? source.Locate(e.line) : blame;
        out += FormatEffectError(source.FileOf(origin), origin.line, e.line <= sourceLines ? e.column : 1, 3000,
                                 e.text);
    }
    if (out.empty())
        out = FormatEffectError(source.FileOf(blame), blame.line, 1, 3000, "shader compilation failed");
    return out;
}

} // namespace

void PrepareShaderCompiler()
{
    if (prepared.load(std::memory_order_acquire))
        return;
    InitialiseOnce();
    // The tables are made by the first parse that needs them; the smallest shader does.
    static const char* const kEmpty = "void main() {}";
    glslang::TShader shader(EShLangFragment);
    shader.setStrings(&kEmpty, 1);
    shader.setEntryPoint("main");
    Configure(shader, EShLangFragment);
    shader.parse(GetDefaultResources(), 100, false, kFlags);
    prepared.store(true, std::memory_order_release);
}

bool ShaderCompilerPrepared()
{
    return prepared.load(std::memory_order_acquire);
}

bool CompileHlslStage(const HlslSource& source, const std::string& sourceText, const ShaderEntry& entry,
                      ShaderStage stage, const HlslSource::Origin& blame, std::vector<uint32_t>& spirv,
                      std::string& messages)
{
    InitialiseOnce();
    const EShLanguage language = stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    const std::string text = sourceText + "\n" + entry.code;
    const int sourceLines = CountLines(sourceText);
    glslang::TShader shader(language);
    const char* strings[] = {text.c_str()};
    const int lengths[] = {static_cast<int>(text.size())};
    const char* names[] = {"0"};
    shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
    shader.setEntryPoint(entry.name.c_str());
    Configure(shader, language);
    const EShMessages flags = kFlags;
    if (!shader.parse(GetDefaultResources(), 100, false, flags)) {
        messages += Translate(shader.getInfoLog(), source, sourceLines, blame);
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(flags)) {
        messages += Translate(program.getInfoLog(), source, sourceLines, blame);
        return false;
    }
    spirv.clear();
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    glslang::GlslangToSpv(*program.getIntermediate(language), spirv, &options);
    return !spirv.empty();
}

} // namespace gfx
