#include "platform/gfx/raster/fog_constants.h"

#include <bit>

#include "platform/gfx/device/render_state.h"

namespace gfx::raster {

namespace {

constexpr uint32_t kFogTableModes = 4; // none, exp, exp2, linear

bool PerspectiveProjection(const DeviceStates& states)
{
    const auto found = states.transforms.find(kTransformProjection);
    if (found == states.transforms.end())
        return false;
    const Matrix4& m = found->second;
    return m[3] != 0.0f || m[7] != 0.0f || m[11] != 0.0f || m[15] != 1.0f;
}

} // namespace

FogConstants FogConstantsOf(const uint32_t* renderStates, const DeviceStates& states)
{
    FogConstants out{};
    if (renderStates[kRsFogEnable] == 0)
        return out;
    const uint32_t colour = renderStates[kRsFogColor];
    out[0] = float((colour >> 16) & 0xFF) / 255.0f;
    out[1] = float((colour >> 8) & 0xFF) / 255.0f;
    out[2] = float(colour & 0xFF) / 255.0f;
    out[3] = 1.0f;
    const uint32_t table = renderStates[kRsFogTableMode];
    out[4] = 1.0f;
    out[5] = table < kFogTableModes ? float(table) : 0.0f;
    out[6] = table != 0 && PerspectiveProjection(states) ? 1.0f : 0.0f;
    out[8] = std::bit_cast<float>(renderStates[kRsFogStart]);
    out[9] = std::bit_cast<float>(renderStates[kRsFogEnd]);
    out[10] = std::bit_cast<float>(renderStates[kRsFogDensity]);
    return out;
}

} // namespace gfx::raster
