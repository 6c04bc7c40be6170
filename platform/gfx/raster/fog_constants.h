#pragma once
// The fixed-function fog's constants, as the pixel stages below shader model 3
// (and the stand-in for none) read them after their colour: on or off, the
// colour, the table mode with its start, end and density, and which depth the
// table reads. The depth is the eye-relative w where the projection the device
// holds is a perspective one (its fourth column not 0, 0, 0, 1), as devices
// that fog by w do, and the depth buffer's z otherwise.
#include <array>
#include <cstdint>

#include "platform/gfx/device/device_states.h"

namespace gfx::raster {

// zl_fogColour, zl_fogMode, zl_fogRange of the fog block, in order.
using FogConstants = std::array<float, 12>;

// `renderStates`: kRenderStateLimit values.
FogConstants FogConstantsOf(const uint32_t* renderStates, const DeviceStates& states);

} // namespace gfx::raster
