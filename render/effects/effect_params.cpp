#include "render/effects/effect_params.h"

#include "platform/gfx/fx/runtime/runtime_effect.h"

void EffectParams::SetFloat(const std::string& name, float value, const std::string& group)
{
    Group(group).floats[name] = value;
}

void EffectParams::SetVector(const std::string& name, const float4* value, const std::string& group)
{
    Group(group).vectors[name] = value ? *value : float4{};
}

void EffectParams::SetVectorArray(const std::string& name, const float4* array, uint32_t count,
                                  const std::string& group)
{
    EffectParamGroup& g = Group(group);
    g.vectorArrays[name] = array;
    g.vectorArrayCounts[name] = count;
}

void EffectParams::SetTexture(const std::string& name, TextureResource* handle, const std::string& group)
{
    Group(group).textures[name] = handle;
}

void EffectParams::SetMatrix(const std::string& name, const float4x4* matrix, const std::string& group)
{
    Group(group).matrices[name] = matrix;
}

void EffectParams::SetMatrixArray(const std::string& name, const float4x4* matrices, uint32_t count,
                                  const std::string& group)
{
    EffectParamGroup& g = Group(group);
    g.matrixArrays[name] = matrices;
    g.matrixArrayCounts[name] = count;
}

void EffectParams::SetAutoMatrix(const std::string& name, uint32_t code, const std::string& group)
{
    Group(group).autoMatrices.push_back({name, code});
}

float* EffectParams::GetFloatParam(const std::string& name, const std::string& group)
{
    return &Group(group).floats[name];
}

namespace {

// The matrix of an automatic code, or null for a code outside 0-7 or a
// matrix the draw did not supply.
const float4x4* AutoMatrix(uint32_t code, const EffectDrawMatrices& draw, float4x4& scratch)
{
    auto computed = [&](const float4x4* from, auto op) -> const float4x4* {
        if (!from)
            return nullptr;
        scratch = op(*from);
        return &scratch;
    };
    switch (code) {
    case kAutoWorldViewProj:
        if (!draw.world || !draw.viewProj)
            return nullptr;
        scratch = Multiply(*draw.world, *draw.viewProj);
        return &scratch;
    case kAutoWorld:
        return draw.world;
    case kAutoInvViewProj:
        return computed(draw.viewProj, Inverse);
    case kAutoView:
        return draw.view;
    case kAutoViewProj:
        return draw.viewProj;
    case kAutoInvProjection:
        return computed(draw.projection, Inverse);
    case kAutoInvView:
        return computed(draw.view, Inverse);
    case kAutoProjection:
        return draw.projection;
    default:
        return nullptr;
    }
}

} // namespace

void ApplyEffectParamGroup(EffectParamGroup& group, gfx::RuntimeEffect& effect, const EffectDrawMatrices& draw,
                           EffectTextureLookup textureOf)
{
    float4x4 scratch;
    for (const AutoMatrixParam& param : group.autoMatrices) {
        if (const float4x4* matrix = AutoMatrix(param.code, draw, scratch))
            effect.SetMatrix(param.name, matrix->m);
    }
    for (const auto& [name, value] : group.vectors)
        effect.SetVector(name, &value.x);
    const float4 cameraPosition = draw.cameraWorld ? draw.cameraWorld->Row(3) : float4{};
    effect.SetVector("PosCam", &cameraPosition.x);
    for (const auto& [name, array] : group.vectorArrays) {
        const uint32_t count = group.vectorArrayCounts[name];
        if (array)
            effect.SetVectorArray(name, &array->x, count);
    }
    for (const auto& [name, value] : group.floats)
        effect.SetFloat(name, value);
    for (const auto& [name, handle] : group.textures)
        effect.SetTexture(name, handle && textureOf ? textureOf(handle) : nullptr);
    for (const auto& [name, matrix] : group.matrices) {
        if (matrix)
            effect.SetMatrix(name, matrix->m);
    }
    for (const auto& [name, matrices] : group.matrixArrays) {
        const uint32_t count = group.matrixArrayCounts[name];
        if (matrices)
            effect.SetMatrixArray(name, matrices->m, count);
    }
}

void ApplyEffectParams(EffectParams& params, gfx::RuntimeEffect& effect, const std::string& technique,
                       const EffectDrawMatrices& draw, EffectTextureLookup textureOf)
{
    ApplyEffectParamGroup(params.Group(""), effect, draw, textureOf);
    ApplyEffectParamGroup(params.Group(technique), effect, draw, textureOf);
}
