#include "platform/gfx/fx/compiled/effect_compiler.h"

#include <new>
#include <system_error>

#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/compiled_effect_check.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/parser/effect_parser.h"
#include "platform/gfx/fx/rewrites/folded_statics.h"
#include "platform/gfx/fx/compiled/pass_compiler.h"
#include "platform/gfx/fx/hlsl/shader_compile.h"

namespace gfx {

namespace {

bool Compile(std::string_view source, const std::string& fileName, const std::vector<EffectMacro>& defines,
             const EffectFileReader& reader, EffectDescription& out, std::string& messages)
{
    // The bytes of the tokens of the effect's files as read: what sizes the
    // budget of its constant expressions, and so what its states' programs may
    // come to, whatever its comments, skipped text or macros make of them.
    size_t read = 0;
    std::string text;
    if (!PreprocessEffect(source, fileName, defines, reader, text, messages, &read))
        return false;
    EffectDescription description;
    std::vector<FoldedInitializer> folded;
    std::vector<std::string> assigned;
    if (!ParseEffect(text, fileName, description, messages, read, &folded, &assigned))
        return false;
    // True, with the words, where a bound of the compiled file is passed.
    const auto refused = [&](const std::string& why) {
        if (!why.empty())
            messages += FormatEffectError(fileName, 1, 1, 3000, why);
        return !why.empty();
    };
    // What every begin of a pass evaluates is held to what a compiled file may
    // keep, whatever budget the source's size gave it: before the shaders are
    // compiled with the samplers the states name, then with those the
    // programs read too.
    if (refused(CheckExpressionWork(description)))
        return false;
    WriteFoldedInitializers(text, folded);
    if (!CompileEffectShaders(text, fileName, description, messages, assigned) ||
        refused(CheckExpressionWork(description)))
        return false;
    for (const EffectMacro& macro : defines)
        description.defines.push_back(macro.name);
    // And the whole file to what the program reads of one.
    const uint64_t most = MaxCompiledEffectBytes();
    const bool fits = CompiledEffectBytes(description) <= most;
    if (refused(fits ? "" : "the compiled effect would come to more than " + std::to_string(most) + " bytes (" +
                                std::to_string(most >> 20) + " MiB), the most the program reads of a file"))
        return false;
    out = std::move(description);
    return true;
}

} // namespace

bool CompileEffectSource(std::string_view source, const std::string& fileName,
                         const std::vector<EffectMacro>& defines, const EffectFileReader& reader,
                         EffectDescription& out, std::string& messages)
{
    if (ShaderCompilesStopped()) {
        messages += EffectClosingError(fileName);
        return false;
    }
    // The shader compiler's first use builds its tables, which takes longer
    // than reading the effect and planning its stages: they are built
    // meanwhile, and the stages wait for them.
    StartPreparingShaderCompiler();
    bool ok = false;
    // What runs short on the way is an error of the effect like any other.
    try {
        ok = Compile(source, fileName, defines, reader, out, messages);
    } catch (const std::bad_alloc&) {
        messages += FormatEffectError(fileName, 1, 1, 3000, "the effect could not be compiled: out of memory");
    } catch (const std::system_error& e) {
        messages += FormatEffectError(fileName, 1, 1, 3000,
                                      std::string("the effect could not be compiled: ") + e.what());
    }
    try {
        PrepareShaderCompiler(); // the thread building them has ended, whatever the outcome
    } catch (const std::bad_alloc&) {
        // The tables are left for the next compile; this one has its outcome.
    }
    return ok;
}

} // namespace gfx
