// Shader code as the shader compiler takes it: the bytes are the functions of
// an effect whose technique draws with VS and PS, so nearly every input
// reaches the shader compiler (which runs in a child process) and the
// translation after it. Whatever the code, the compile ends: an accepted
// effect must read back the same from its compiled form and draw a pass, and a
// refused one always says why.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/accepted_effect.h"
#include "platform/gfx/fx/effect_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string kBefore = "float4x4 World : WORLD;\n"
                                       "float4 Tint = float4(1, 1, 1, 1);\n"
                                       "float Lights[4];\n"
                                       "texture Picture;\n"
                                       "sampler2D PictureSampler = sampler_state { Texture = <Picture>; };\n";
    static const std::string kAfter = "\ntechnique fuzz { pass p { VertexShader = compile vs_3_0 VS(); "
                                      "PixelShader = compile ps_3_0 PS(); } }\n";
    const std::string source = kBefore + std::string(reinterpret_cast<const char*>(data), size) + kAfter;
    gfx::EffectDescription description;
    std::string messages;
    if (!gfx::CompileEffectSource(source, "compile.fx", {}, {}, description, messages)) {
        if (messages.find("): error X") == std::string::npos)
            std::abort(); // a refusal always says why, at a place
        return 0;
    }
    CheckAcceptedEffect(description);
    return 0;
}
