#pragma once
// EffectParams: the values an effect draws with, recorded by parameter name in
// groups. The group "" applies to every technique; a group named after a
// technique applies after it, to batches drawn with that technique. Floats and
// vectors are copies; vector arrays, matrices, matrix arrays and textures are
// the caller's storage, read at every application, so it must outlive its use.
// Automatic matrices are computed at application from the draw's world matrix
// and the camera's matrices.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

class TextureResource;

namespace gfx {
class BaseTexture;
class RuntimeEffect;
} // namespace gfx

// Codes of automatic matrices (W the draw's world matrix).
enum AutoMatrixCode : uint32_t {
    kAutoWorldViewProj = 0,  // W x view-projection
    kAutoWorld = 1,          // W
    kAutoInvViewProj = 2,    // inverse of view-projection
    kAutoView = 3,
    kAutoViewProj = 4,
    kAutoInvProjection = 5,
    kAutoInvView = 6,
    kAutoProjection = 7,
};

struct AutoMatrixParam {
    std::string name;
    uint32_t code = 0;
};

struct EffectParamGroup {
    std::vector<AutoMatrixParam> autoMatrices; // in the order added; names may repeat
    std::map<std::string, float4> vectors;
    std::map<std::string, const float4*> vectorArrays;
    std::map<std::string, uint32_t> vectorArrayCounts;
    std::map<std::string, TextureResource*> textures; // not owned
    std::map<std::string, float> floats;
    std::map<std::string, const float4x4*> matrices;
    std::map<std::string, const float4x4*> matrixArrays;
    std::map<std::string, uint32_t> matrixArrayCounts;
};

class EffectParams {
public:
    // The group of that name, created empty when new.
    EffectParamGroup& Group(const std::string& group) { return groups[group]; }

    void SetFloat(const std::string& name, float value, const std::string& group);
    void SetVector(const std::string& name, const float4* value, const std::string& group);
    void SetVectorArray(const std::string& name, const float4* array, uint32_t count, const std::string& group);
    void SetTexture(const std::string& name, TextureResource* handle, const std::string& group);
    void SetMatrix(const std::string& name, const float4x4* matrix, const std::string& group);
    void SetMatrixArray(const std::string& name, const float4x4* matrices, uint32_t count, const std::string& group);
    void SetAutoMatrix(const std::string& name, uint32_t code, const std::string& group);
    // The float's storage (0.0 when new); writing through it changes what is applied.
    float* GetFloatParam(const std::string& name, const std::string& group);

    std::map<std::string, EffectParamGroup> groups;
};

// What a draw supplies to the automatic matrices and "PosCam".
struct EffectDrawMatrices {
    const float4x4* world = nullptr;
    const float4x4* view = nullptr;
    const float4x4* projection = nullptr;
    const float4x4* viewProj = nullptr;
    const float4x4* cameraWorld = nullptr; // "PosCam" is its fourth row
};

// The device texture behind a texture handle (null when it has none).
using EffectTextureLookup = const gfx::BaseTexture* (*)(TextureResource* handle);

// Hands one group to the effect in the order draws rely on: automatic matrices
// (in list order), vectors, "PosCam", vector arrays, floats, textures,
// matrices, matrix arrays. Names the effect lacks are passed all the same.
void ApplyEffectParamGroup(EffectParamGroup& group, gfx::RuntimeEffect& effect, const EffectDrawMatrices& draw,
                           EffectTextureLookup textureOf);
// The group "" and then the technique's group (created empty when new).
void ApplyEffectParams(EffectParams& params, gfx::RuntimeEffect& effect, const std::string& technique,
                       const EffectDrawMatrices& draw, EffectTextureLookup textureOf);
