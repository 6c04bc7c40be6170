#pragma once
// LightRig: the per-frame link between the demonstration's four shadow-casting
// light cameras and the materials that look their shadow maps up. Each frame
// it applies the light cameras (light camera 0 last, so it stays active),
// turns their view-projection matrices into shadow texture matrices, and
// registers those, the caster radii and the light size with every material's
// effect. The matrices and radii are registered by address: the rig must stay
// in place for as long as the effects draw with them.
#include <cstdint>
#include <functional>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

class CameraNode;
class Effect;
class Scene;

inline constexpr uint32_t kLightCameraCount = 4;

// Half a texel past the centre of the map: 0.5 + 0.5 / 256 and 0.5 + 0.5 / 1024.
inline constexpr float kShadowMapBiasOffset = 0.501953125f;
inline constexpr float kSelfShadowMapBiasOffset = 0.50048828125f;

// Clip space to the texture space of a square map: (x, y, z, w) becomes
// (0.5 x + b w, -0.5 y + b w, z, w), so v grows downwards and depth is kept.
float4x4 MakeShadowMapBias(float offset);

// The two steps over storage of the caller's: the demonstration object keeps
// the matrices, radii and size as members of its own, in its own order.
void UpdateLightMatrices(CameraNode* const (&lightCameras)[kLightCameraCount], const float4x4& shadowMapBias,
                         const float4x4& selfShadowMapBias, float4x4 (&lightMatrices)[kLightCameraCount],
                         float4x4& selfShadowMatrix);
void SetLightConstants(Scene& scene, float4x4 (&lightMatrices)[kLightCameraCount], float4x4& selfShadowMatrix,
                       float4 (&casterRadii)[kLightCameraCount], float lightSize,
                       const std::function<void(uint32_t index, Effect* effect)>& afterMaterial);

struct alignas(16) LightRig {
    LightRig();

    // The start-up values of both bias matrices (identity until then).
    void SetBiasMatrices();

    // Applies light cameras 3, 2, 1, 0 (0 ends up the active camera), then
    // lightMatrices[k] = view-projection of camera k x shadowMapBias and
    // selfShadowMatrix = view-projection of camera 3 x selfShadowMapBias.
    void UpdateLightMatrices(CameraNode* const (&lightCameras)[kLightCameraCount]);

    // Runs after a material's four light constants, with its index in the
    // scene's material list and its effect (null for a material without one).
    using AfterMaterial = std::function<void(uint32_t index, Effect* effect)>;

    // For every material of the scene in list order: "lightMatrix",
    // "lightMatrixSelf", "casterRadius" and "lightSize" on its effect, then
    // afterMaterial for it. The list is read afresh each step. A material with
    // no effect gets no constants but still its afterMaterial step.
    void SetLightConstants(Scene& scene, const AfterMaterial& afterMaterial);

    float4x4 shadowMapBias;
    float4x4 selfShadowMapBias;
    float4x4 lightMatrices[kLightCameraCount];
    float4x4 selfShadowMatrix;
    // One radius per light, in all four lanes.
    float4 casterRadii[kLightCameraCount];
    float lightSize = 0.0f;
};
