#pragma once
// What the start-up binds on the demonstration's scene: the five named nodes
// it draws and lights ("Object01" to "Object04", then "Box01"), looked up once
// so that a missing one is reported once and then skipped; the lighting and
// shadow parameters every scene material's effect draws with; the self-shadow
// map on the self-shadowed caster; the object identifiers by which each
// object's effect tells its own shadow tile from the others.
#include <cstdint>

#include "kernel/math/float4.h"

class Effect;
class Scene;
class SceneNode;
class TextureResource;

inline constexpr uint32_t kDemoNodeCount = 5;
inline constexpr const char* kDemoNodeNames[kDemoNodeCount] = {"Object01", "Object02", "Object03", "Object04",
                                                                "Box01"};
inline constexpr uint32_t kGroundNode = 4;
inline constexpr uint32_t kSelfShadowedNode = 3;

// The nodes in kDemoNodeNames order. A name the scene lacks is reported by
// the lookup; a node that is no mesh node with a subset is reported here
// ("Node has no mesh subset: " and its name). Either leaves its slot null.
void FindDemoNodes(Scene& scene, SceneNode* (&nodes)[kDemoNodeCount]);

// The effect of the material of the first subset of the node's mesh; null
// for a null node or when there is none.
Effect* FirstSubsetEffect(SceneNode* node);

// The textures and values every scene material is drawn with; the effects
// keep the addresses, so all of it must outlive the scene.
struct SceneMaterialInputs {
    const float4* shCoeffSplats = nullptr; // 16 entries
    TextureResource* shadowAtlas = nullptr;
    TextureResource* shadowAtlasSAT = nullptr;
    TextureResource* noiseTexture = nullptr;
    TextureResource* jitterVolume = nullptr;
    TextureResource* prtNTexture = nullptr;
    TextureResource* prtPTexture = nullptr;
    float4 lightDirection; // "lht"
};

// For every material of the scene in its order: "shCoeffs" (16), "atlasRes"
// 512, "shadowAtlas" and "shadowAtlasLinear" (the same atlas),
// "shadowAtlasSAT", "noisemap", "jittermap", "PRTn", "PRTp" and "lht".
void BindSceneMaterials(Scene& scene, const SceneMaterialInputs& inputs);

// "shadowSelf" on the self-shadowed caster's effect, then "objectID" on each
// node's effect: the ground -1, the casters 0 to 3. Null slots are skipped.
void BindObjectParameters(SceneNode* const (&nodes)[kDemoNodeCount], TextureResource* selfShadowMap);
