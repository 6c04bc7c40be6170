#pragma once
// What every accepted effect must do, whichever fuzz target compiled it: read
// back the same from its compiled form, and begin, commit and end a pass.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/fx/compiled_effect.h"
#include "platform/gfx/fx/runtime_effect.h"

inline void CheckAcceptedEffect(const gfx::EffectDescription& description)
{
    std::vector<uint8_t> compiled = gfx::WriteCompiledEffect(description);
    gfx::EffectDescription back;
    std::string error;
    if (!gfx::ReadCompiledEffect(compiled.data(), compiled.size(), back, error) || !(back == description))
        std::abort();
    gfx::RuntimeEffect effect(std::move(back));
    uint32_t passes = 0;
    if (effect.Begin(passes) == gfx::kEffectOk && passes > 0) {
        effect.BeginPass(0);
        effect.CommitChanges();
        effect.End();
    }
}
