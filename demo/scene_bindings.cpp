#include "demo/scene_bindings.h"

#include "kernel/error_stream.h"
#include "render/effects/effect.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
#include "render/textures/texture_resource.h"

namespace {

// The first subset of the node's mesh; null when there is none.
MeshSubset* FirstSubset(SceneNode& node)
{
    if (node.kind != scene_node_kind::kMesh)
        return nullptr;
    MeshData* mesh = static_cast<MeshNode&>(node).mesh.GetPayload();
    if (!mesh || !mesh->currentSubsets || mesh->currentSubsets->count == 0 || !mesh->currentSubsets->items)
        return nullptr;
    return &mesh->currentSubsets->items[0];
}

} // namespace

void FindDemoNodes(Scene& scene, SceneNode* (&nodes)[kDemoNodeCount])
{
    for (uint32_t i = 0; i < kDemoNodeCount; ++i) {
        nodes[i] = scene.FindNode(kDemoNodeNames[i]);
        if (nodes[i] && !FirstSubset(*nodes[i])) {
            errorTwoLines = false;
            GetErrorStream() << "Node has no mesh subset: " << kDemoNodeNames[i] << "\n";
            nodes[i] = nullptr;
        }
    }
}

Effect* FirstSubsetEffect(SceneNode* node)
{
    MeshSubset* subset = node ? FirstSubset(*node) : nullptr;
    return subset ? subset->material.GetEffect() : nullptr;
}

void BindSceneMaterials(Scene& scene, const SceneMaterialInputs& inputs)
{
    SceneList<MaterialResource>* materials = scene.Materials();
    if (!materials)
        return;
    for (uint32_t i = 0; i < materials->count; ++i) {
        Effect* effect = materials->items[i] ? materials->items[i]->GetEffect() : nullptr;
        if (!effect)
            continue;
        effect->SetVectorArray("shCoeffs", inputs.shCoeffSplats, 16, "");
        effect->SetFloat("atlasRes", 512.0f, "");
        effect->SetTexture("shadowAtlas", inputs.shadowAtlas, "");
        effect->SetTexture("shadowAtlasLinear", inputs.shadowAtlas, "");
        effect->SetTexture("shadowAtlasSAT", inputs.shadowAtlasSAT, "");
        effect->SetTexture("noisemap", inputs.noiseTexture, "");
        effect->SetTexture("jittermap", inputs.jitterVolume, "");
        effect->SetTexture("PRTn", inputs.prtNTexture, "");
        effect->SetTexture("PRTp", inputs.prtPTexture, "");
        effect->SetVector("lht", &inputs.lightDirection, "");
    }
}

void BindObjectParameters(SceneNode* const (&nodes)[kDemoNodeCount], TextureResource* selfShadowMap)
{
    if (Effect* effect = FirstSubsetEffect(nodes[kSelfShadowedNode]))
        effect->SetTexture("shadowSelf", selfShadowMap, "");
    // The ground first, then the casters in order.
    if (Effect* effect = FirstSubsetEffect(nodes[kGroundNode]))
        effect->SetFloat("objectID", -1.0f, "");
    for (uint32_t i = 0; i < kGroundNode; ++i)
        if (Effect* effect = FirstSubsetEffect(nodes[i]))
            effect->SetFloat("objectID", static_cast<float>(i), "");
}
