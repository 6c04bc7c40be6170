#pragma once
// What every accepted effect must do, whichever fuzz target compiled it: read
// back the same from its compiled form, and begin, commit and end every pass
// of every technique on a recording device, which takes the passes' states.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_device.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"

inline void CheckAcceptedEffect(const gfx::EffectDescription& description)
{
    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(description);
    gfx::EffectDescription back;
    std::string error;
    if (!gfx::ReadCompiledEffect(compiled.data(), compiled.size(), back, error) || !(back == description))
        std::abort();
    gfx::RuntimeEffect effect(std::move(back));
    effect.SetDevice(RecordingDevice());
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
