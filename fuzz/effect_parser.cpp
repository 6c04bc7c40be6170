// Effect sources as the compiler reads them: preprocess, parse, and a compiled
// effect written from any accepted source must read back the same. The same bytes
// also go to the compiled-effect reader, which must refuse damage without harm.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/accepted_effect.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view source(reinterpret_cast<const char*>(data), size);
    gfx::EffectFileReader reader = [](const std::string& path, size_t limit, std::string& contents) {
        if (path != "inc/lib.fxh")
            return std::string("no such file");
        contents = std::string("#define LIB 1\nfloat4 libValue = 1;\n").substr(0, limit);
        return std::string();
    };
    gfx::EffectDescription description;
    std::string messages;
    if (gfx::CompileEffectSource(source, "inc/fuzz.fx", {{"USE_HDR", "\n"}}, reader, description, messages)) {
        CheckAcceptedEffect(description);
    } else if (messages.empty()) {
        std::abort();  // a refusal always says why
    }
    gfx::EffectDescription read;
    std::string error;
    gfx::ReadCompiledEffect(data, size, read, error);
    return 0;
}
