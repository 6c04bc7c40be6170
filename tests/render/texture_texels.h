#pragma once
// The texels of a one-row float texture (four floats each), read from the
// device's bytes without marking them written.
#include <cstring>
#include <span>
#include <vector>

#include "kernel/math/float4.h"
#include "render/textures/texture_resource.h"
#include "testing/gfx_device_hooks.h"

inline std::vector<float4> Texels(TextureResource& texture)
{
    std::vector<float4> texels;
    TextureData* data = texture.GetPayload();
    if (!data || !data->texture)
        return texels;
    const std::span<uint8_t> bytes = platform::testing::TextureBytes(*data->texture);
    texels.resize(bytes.size() / 16);
    std::memcpy(texels.data(), bytes.data(), texels.size() * 16);
    return texels;
}
