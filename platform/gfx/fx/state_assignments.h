#pragma once
// The state assignments of effect passes and sampler_state blocks, turned into
// the device's numbers: `CullMode = None;` is render state 22 with value 1,
// `AddressU = Clamp;` sets a sampler's U address mode to 3. Names and values are
// matched without regard to case; values that name parameters or expressions are
// left out (they are not constants of the pass).
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/gfx/fx/effect_description.h"
#include "platform/gfx/fx/pass_program.h"

namespace gfx {

// The render state and value of one pass assignment, if it is a constant one.
std::optional<std::pair<uint32_t, uint32_t>> RenderStateAssignment(const EffectState& state);

// Every constant render-state assignment of a pass, in order.
std::vector<std::pair<uint32_t, uint32_t>> PassRenderStates(const EffectPass& pass);

// The settings of a sampler_state block; unknown or non-constant assignments
// keep their default.
SamplerSettings SamplerStateSettings(const std::vector<EffectState>& states);

} // namespace gfx
