#include "render/world/curve_texture.h"

#include <cstring>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "render/textures/texture_lock.h"

namespace {
constexpr uint32_t kTexelBytes = 16;

// Whole texels of a width; none for a width below one or not a number.
uint32_t WholeTexels(float width)
{
    if (!(width >= 1.0f))
        return 0;
    return width < 4294967296.0f ? static_cast<uint32_t>(width) : 0xFFFFFFFFu;
}
} // namespace

void BakeCurveTexture(CurveResource* curve, TextureResource* destination, float width)
{
    const uint32_t texels = WholeTexels(width);

    TextureResource staging;
    staging.InitRenderTexture(texels, 1, gfx::kFormatA32B32G32R32F, 0, 0, gfx::kPoolSystemMem, 1);
    TextureData* data = staging.GetPayload();
    gfx::Texture* texture = data && data->texture && data->texture->GetType() == gfx::kResourceTexture
                                ? static_cast<gfx::Texture*>(data->texture)
                                : nullptr;
    // Nothing was locked, so there is nowhere to write the texels to.
    if (!LockTexture(staging.locked, texture, 0, 0, 0, 0, 0, 0))
        return;
    data->lockedLevel = 0;
    staging.bytesPerTexel = kTexelBytes;

    CurveSampler sampler;
    sampler.curves[0] = curve;
    sampler.weights[0] = 1.0f;
    float4 value;
    sampler.outputs.push_back(&value);

    const CurveData* keys = curve ? curve->GetPayload() : nullptr;
    const uint32_t keyCount = keys ? UsableKeyCount(*keys) : 0;
    const float step = keyCount ? KeyTime(*keys, keyCount - 1) / width : 0.0f;

    // The row as locked bounds the writes, whatever width was asked for.
    uint8_t* row = static_cast<uint8_t*>(staging.locked.bits);
    uint32_t room = row && staging.locked.pitch > 0 ? static_cast<uint32_t>(staging.locked.pitch) / kTexelBytes : 0;
    if (room > texels)
        room = texels;
    float t = 0.0f;
    for (uint32_t i = 0; i < room && static_cast<float>(i) < width; ++i) {
        sampler.EvaluateCurve(t);
        std::memcpy(row + size_t{kTexelBytes} * i, &value.x, kTexelBytes);
        t += step;
    }

    UnlockTexture(texture, data->lockedLevel);

    if (destination) {
        destination->InitRenderTexture(texels, 1, gfx::kFormatA32B32G32R32F, 0, gfx::kUsageRenderTarget,
                                       gfx::kPoolDefault, 1);
        TextureData* target = destination->GetPayload();
        UpdateTextureChecked(texture, target ? target->texture : nullptr);
    }
    staging.ReleaseResource();
}
