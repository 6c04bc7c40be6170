#include "demo/shadow_atlas_tiles.h"

#include "kernel/error_stream.h"
#include "kernel/math/float4x4.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"

namespace {

// The bounding centre of the mesh's first subset, or null when the node has
// no mesh data or no subset to take it from.
const float4* FirstSubsetCentre(SceneNode& node)
{
    if (node.kind != scene_node_kind::kMesh)
        return nullptr;
    MeshData* mesh = static_cast<MeshNode&>(node).mesh.GetPayload();
    if (!mesh || !mesh->currentSubsets || mesh->currentSubsets->count == 0 || !mesh->currentSubsets->items)
        return nullptr;
    const IndexBufferData* subset = mesh->currentSubsets->items[0].GetPayload();
    return subset ? &subset->subsetValues : nullptr;
}

} // namespace

bool CasterPosition(SceneNode* node, float4& position)
{
    if (!node)
        return false;
    const float4* centre = FirstSubsetCentre(*node);
    if (!centre) {
        errorTwoLines = false;
        GetErrorStream() << "Caster node has no mesh subset: " << node->name.chars << "\n";
        return false;
    }
    position = TransformFloat4(*centre, *node->GetWorldMatrix());
    return true;
}

bool ComputeCasterPositions(SceneNode* const (&casters)[kCasterCount], float4 (&casterPositions)[kCasterCount])
{
    bool all = true;
    for (uint32_t i = 0; i < kCasterCount; ++i)
        if (!CasterPosition(casters[i], casterPositions[i]))
            all = false;
    return all;
}

bool ComputeCasterPositions(Scene& scene, float4 (&casterPositions)[kCasterCount])
{
    bool all = true;
    for (uint32_t i = 0; i < kCasterCount; ++i) {
        // FindNode reports a missing name itself.
        if (!CasterPosition(scene.FindNode(kCasterNodeNames[i]), casterPositions[i]))
            all = false;
    }
    return all;
}

void FillAtlasTiles(const RenderTargetRecord& atlas, RenderTargetRecord (&atlasTiles)[kCasterCount])
{
    for (uint32_t i = 0; i < kCasterCount; ++i) {
        RenderTargetRecord& tile = atlasTiles[i];
        tile = atlas;
        // Tile 0 keeps the atlas's own origin.
        if (i != 0) {
            tile.viewport.x = kAtlasTileOrigins[i].x;
            tile.viewport.y = kAtlasTileOrigins[i].y;
        }
        tile.viewport.width = kAtlasTileSize;
        tile.viewport.height = kAtlasTileSize;
    }
}
