#pragma once
// What every accepted effect must do, whichever fuzz target compiled it: read
// back the same from its compiled form, and begin, commit and end every pass
// of every technique on a recording device, which takes the passes' states.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/device/device.h"
#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/fx/compiled_effect.h"
#include "platform/gfx/fx/runtime_effect.h"

// A recording device, made once and kept with what made it.
inline gfx::Device* AcceptedEffectDevice()
{
    static gfx::Direct3D* const d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
    static gfx::Device* const device = [] {
        gfx::PresentParameters parameters;
        parameters.backBufferWidth = 16;
        parameters.backBufferHeight = 16;
        parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
        parameters.backBufferCount = 1;
        parameters.swapEffect = gfx::kSwapDiscard;
        parameters.windowed = true;
        gfx::Device* made = nullptr;
        if (d3d)
            d3d->CreateDevice(0, gfx::kDeviceHal, nullptr, gfx::kCreateHardwareVertexProcessing, &parameters, &made);
        return made;
    }();
    return device;
}

inline void CheckAcceptedEffect(const gfx::EffectDescription& description)
{
    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(description);
    gfx::EffectDescription back;
    std::string error;
    if (!gfx::ReadCompiledEffect(compiled.data(), compiled.size(), back, error) || !(back == description))
        std::abort();
    gfx::RuntimeEffect effect(std::move(back));
    effect.SetDevice(AcceptedEffectDevice());
    for (const gfx::EffectTechnique& technique : description.techniques) {
        uint32_t passes = 0;
        if (effect.SetTechnique(technique.name) != gfx::kEffectOk || effect.Begin(passes) != gfx::kEffectOk)
            continue;
        for (uint32_t pass = 0; pass < passes; ++pass) {
            if (effect.BeginPass(pass) == gfx::kEffectOk) {
                effect.CommitChanges();
                effect.EndPass();
            }
        }
        effect.End();
    }
}
