#pragma once
// What a device keeps beyond its render states and bindings, each part
// holding the platform's initial value on a new device: sampler states and
// the texture of each sampler, texture-stage states, transforms, lights and
// whether each is on, the material, shader constants, the N-patch segments and
// the flexible vertex format.
// The drawing reads the samplers and their textures; the rest belongs to the
// fixed-function pipeline and to register-numbered constants, kept as set.
#include <array>
#include <cstdint>
#include <map>

namespace gfx {

class BaseTexture;

inline constexpr uint32_t kMaxSamplers = 16;
inline constexpr uint32_t kMaxTextureStages = 8;

enum SamplerState : uint32_t {
    kSampAddressU = 1,
    kSampAddressV = 2,
    kSampAddressW = 3,
    kSampBorderColor = 4,
    kSampMagFilter = 5,
    kSampMinFilter = 6,
    kSampMipFilter = 7,
    kSampMipMapLodBias = 8,
    kSampMaxMipLevel = 9,
    kSampMaxAnisotropy = 10,
    kSampSrgbTexture = 11,
    kSampElementIndex = 12,
    kSampDMapOffset = 13,
};
inline constexpr uint32_t kSamplerStateLimit = 14; // one past the highest

enum TextureStageState : uint32_t {
    kTssColorOp = 1,
    kTssColorArg1 = 2,
    kTssColorArg2 = 3,
    kTssAlphaOp = 4,
    kTssAlphaArg1 = 5,
    kTssAlphaArg2 = 6,
    kTssBumpEnvMat00 = 7,
    kTssBumpEnvMat01 = 8,
    kTssBumpEnvMat10 = 9,
    kTssBumpEnvMat11 = 10,
    kTssTexCoordIndex = 11,
    kTssBumpEnvLScale = 22,
    kTssBumpEnvLOffset = 23,
    kTssTextureTransformFlags = 24,
    kTssColorArg0 = 26,
    kTssAlphaArg0 = 27,
    kTssResultArg = 28,
    kTssConstant = 32,
};
inline constexpr uint32_t kTextureStageStateLimit = 33; // one past the highest

// Transform numbers: the world matrices are kTransformWorld + 0 .. 255.
inline constexpr uint32_t kTransformView = 2;
inline constexpr uint32_t kTransformProjection = 3;
inline constexpr uint32_t kTransformTexture0 = 16;
inline constexpr uint32_t kTransformWorld = 256;
inline constexpr uint32_t kTransformLimit = 512;

inline constexpr uint32_t kLightPoint = 1;
inline constexpr uint32_t kLightSpot = 2;
inline constexpr uint32_t kLightDirectional = 3;

inline constexpr uint32_t kVertexFloatConstants = 256;
inline constexpr uint32_t kPixelFloatConstants = 224;
inline constexpr uint32_t kIntConstants = 16;
inline constexpr uint32_t kBoolConstants = 16;

using Vector4 = std::array<float, 4>;
using Matrix4 = std::array<float, 16>; // row by row

struct Light {
    uint32_t type = kLightDirectional;
    Vector4 diffuse{1, 1, 1, 0};
    Vector4 specular{};
    Vector4 ambient{};
    std::array<float, 3> position{};
    std::array<float, 3> direction{0, 0, 1};
    float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0, theta = 0, phi = 0;
    bool operator==(const Light&) const = default;
};

struct Material {
    Vector4 diffuse{}, ambient{}, specular{}, emissive{};
    float power = 0;
    bool operator==(const Material&) const = default;
};

struct DeviceStates {
    DeviceStates();

    std::array<std::array<uint32_t, kSamplerStateLimit>, kMaxSamplers> samplers;
    std::array<BaseTexture*, kMaxSamplers> textures{}; // each holds a reference, taken by the device
    std::array<std::array<uint32_t, kTextureStageStateLimit>, kMaxTextureStages> stages;
    std::map<uint32_t, Matrix4> transforms;            // those set; the others are the identity
    std::map<uint32_t, Light> lights;                  // those set or enabled
    std::map<uint32_t, bool> lightEnabled;
    Material material;
    std::array<Vector4, kVertexFloatConstants> vertexFloats{};
    std::array<std::array<int32_t, 4>, kIntConstants> vertexInts{};
    std::array<uint32_t, kBoolConstants> vertexBools{};
    std::array<Vector4, kPixelFloatConstants> pixelFloats{};
    std::array<std::array<int32_t, 4>, kIntConstants> pixelInts{};
    std::array<uint32_t, kBoolConstants> pixelBools{};
    float nPatchSegments = 0.0f;
    uint32_t fvf = 0;
};

// True for a sampler-state, texture-stage-state or transform number the device knows.
bool IsSamplerState(uint32_t type);
bool IsTextureStageState(uint32_t type);
bool IsTransform(uint32_t state);

inline constexpr Matrix4 kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

} // namespace gfx
