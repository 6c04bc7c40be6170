#include "platform/gfx/fx/effect_compiler.h"

#include "platform/gfx/fx/effect_parser.h"
#include "platform/gfx/fx/pass_compiler.h"

namespace gfx {

bool CompileEffectSource(std::string_view source, const std::string& fileName,
                         const std::vector<EffectMacro>& defines, const EffectFileReader& reader,
                         EffectDescription& out, std::string& messages)
{
    std::string text;
    if (!PreprocessEffect(source, fileName, defines, reader, text, messages))
        return false;
    EffectDescription description;
    if (!ParseEffect(text, fileName, description, messages))
        return false;
    if (!CompileEffectShaders(text, fileName, description, messages))
        return false;
    for (const EffectMacro& macro : defines)
        description.defines.push_back(macro.name);
    out = std::move(description);
    return true;
}

} // namespace gfx
