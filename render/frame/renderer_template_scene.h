#pragma once
// SceneNodeRenderer: the scene's renderer template. Its Render (UpdateScene)
// walks its layers of scene nodes in order and fills its queue:
// - every visible mesh node adds one instance per subset of its mesh (the
//   subset's draw record, filled on first use, and the node's world matrix),
//   after the mesh's level of detail is chosen from the node's projected
//   radius in the template's camera;
// - every visible light node adds its light record to the queue's light list
//   (the frame's shared light list unless the queue has its own) and itself to
//   the frame light-node list; an ambient light that finds another ambient
//   record adds its colour to that record instead.
// While a shadow pass gathers, mesh nodes that cast no shadow and light nodes
// are skipped. No culling, no sorting: instances come out in layer, node and
// subset order, so nodes of one mesh in a row batch into instanced draws.
#include <cstdint>
#include <vector>

#include "render/frame/renderer_template.h"

class CameraNode;
class LightNode;
class MeshNode;
class SceneNode;
class MeshSubset;
struct DrawRecord;
struct MeshData;

// Nodes a template draws, in order; not owned.
struct RenderLayer {
    std::vector<SceneNode*> nodes;
    uint8_t enabled = 1;
};

class SceneNodeRenderer : public RendererTemplate {
public:
    void Render() override { UpdateScene(); }
    void UpdateScene();

    std::vector<RenderLayer*> layers; // not owned

private:
    void GatherMeshNode(MeshNode& node);
    void GatherLightNode(LightNode& node);
};

// The draw record of a subset of `mesh` (its buffers, declaration, strides,
// counts and material), marked filled; a node that is not instanced makes it
// a record drawn without instancing.
void FillDrawRecord(DrawRecord& record, MeshData& mesh, MeshSubset& subset, uint8_t instancing);

// The level `mesh` shows for a node at `world` with bounding radius `radius`
// in `camera`: the projected radius d (as a share of the view) against the
// level distances, which fall from level to level. The first distance d
// exceeds picks the level before it (-1: the base set); none, the last level.
int ChooseMeshLevel(const MeshData& mesh, const float4x4& world, float radius, CameraNode& camera);
