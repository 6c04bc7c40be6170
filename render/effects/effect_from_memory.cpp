#include "render/effects/effect_from_memory.h"

#include <iostream>

#include "kernel/error_stream.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/device/render_device.h"

bool CreateEffectFromMemory(const void* data, size_t size, const std::string& fileName,
                            const std::vector<std::string>* defines, gfx::Device* device, EffectObject& out,
                            int32_t& result)
{
    out.reset();
    std::vector<gfx::EffectMacro> macros;
    if (defines) {
        macros.reserve(defines->size());
        for (const std::string& name : *defines)
            macros.push_back({name, "\n"});
    }
    std::unique_ptr<gfx::RuntimeEffect> made;
    std::string errors;
    // No include handler: an #include in a source compiled here fails.
    result = gfx::RuntimeEffect::Create(data, size, macros, made, errors, fileName);
    if (gfx::Succeeded(result) && made) {
        made->SetDevice(device);
        // The last holder frees it through the render device's accounting.
        out = EffectObject(made.release(), [](gfx::RuntimeEffect* effect) {
            if (RendererExists())
                GetRenderer()->Resources().ReleaseEffect(effect);
            else
                delete effect;
        });
        return true;
    }
    if (result == gfx::kEffectAborted) {
        // The program is closing: its end is not held up by a box.
        std::cout << "Shader " << fileName << " was not compiled: the program is closing.\n";
        return false;
    }
    if (!errors.empty()) {
        errorTwoLines = true;
        // The first line is held; the messages complete the one box.
        GetErrorStream() << "Shader " << fileName << " compilation error!\n";
        GetErrorStream() << errors + "\n\n";
    } else {
        errorTwoLines = false;
        GetErrorStream() << "Shader " << fileName << " not found.\n";
    }
    return false;
}
