#include "render/frame/renderer_template_scene.h"

#include <cmath>

#include "render/frame/draw_record.h"
#include "render/nodes/light_node.h"
#include "render/resources/mesh.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/scene_renderer.h"
#include "render/resources/vertex_buffer.h"

void FillDrawRecord(DrawRecord& record, MeshData& mesh, MeshSubset& subset, uint8_t instancing)
{
    VertexBufferData* vertices = mesh.currentVertexSet->buffer.GetPayload();
    record.vertexBuffer = vertices ? vertices->buffer : nullptr;
    record.vertexCount = vertices ? vertices->vertexCount : 0;
    record.declaration = mesh.currentDecl->GetVertexDecl();
    record.vertexStride = mesh.currentDecl->GetStreamStride(0);
    record.instanceStride = mesh.currentDecl->GetStreamStride(1);
    IndexBufferData* indices = subset.GetPayload();
    record.primitiveKind = indices ? indices->indicesPerPrimitive : 0;
    record.indexBuffer = indices ? indices->buffer : nullptr;
    record.primitiveCount = indices ? indices->primitiveCount : 0;
    record.effect = subset.material.GetEffect();
    record.filled = 1;
    if (!instancing)
        record.flags = kDrawRecordNoInstancing;
}

int ChooseMeshLevel(const MeshData& mesh, const float4x4& world, float radius, CameraNode& camera)
{
    const uint32_t levels = mesh.lodDistances.count;
    if (levels == 0)
        return mesh.CurrentLevel();
    const float4 p = world.Row(3);
    // Offset along the view matrix's first column, all four components: the
    // offset point's fourth component is 1 + radius x k.w.
    const float4x4& view = *camera.GetViewMatrix();
    const float4 k{view(0, 0), view(1, 0), view(2, 0), view(3, 0)};
    const float4 q{p.x + radius * k.x, p.y + radius * k.y, p.z + radius * k.z, p.w + radius * k.w};
    float4 a, b;
    camera.ProjectToViewport(a, p, false, true, false);
    camera.ProjectToViewport(b, q, false, true, false);
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    for (uint32_t i = 0; i < levels; ++i) {
        if (d > mesh.lodDistances.items[i])
            return static_cast<int>(i) - 1;
    }
    return static_cast<int>(levels) - 1;
}

namespace {

// How many nodes ahead of the one gathered are fetched.
constexpr size_t kLookAhead = 4;

// The parts of a node the gathering reads: its flags and world matrix, its
// local matrices and their change flags, its kind.
void Prefetch(const SceneNode* node)
{
    if (!node)
        return;
    __builtin_prefetch(&node->visible);
    __builtin_prefetch(&node->worldMatrix);
    __builtin_prefetch(&node->transform.translationMatrix);
    __builtin_prefetch(&node->transform.rotationMatrix);
    __builtin_prefetch(&node->transform.scaleMatrix);
    __builtin_prefetch(&node->transform.translationDirty);
    __builtin_prefetch(&node->kind);
}

} // namespace

void SceneNodeRenderer::UpdateScene()
{
    BeginGathering(currentSceneRenderer ? &currentSceneRenderer->lights : nullptr);
    if (!enabled)
        return;
    for (RenderLayer* layer : layers) {
        if (!layer || !layer->enabled)
            continue;
        SceneNode* const* const nodes = layer->nodes.data();
        const size_t count = layer->nodes.size();
        for (size_t i = 0; i < count; ++i) {
            // Nodes lie apart in memory and each is read in several places:
            // the ones a few steps on are asked for now, so that they are at
            // hand when their turn comes.
            if (i + kLookAhead < count)
                Prefetch(nodes[i + kLookAhead]);
            SceneNode* node = nodes[i];
            currentNode = node;
            if (!node || !node->visible)
                continue;
            if (node->kind == scene_node_kind::kMesh)
                GatherMeshNode(static_cast<MeshNode&>(*node));
            else if (node->kind == scene_node_kind::kLight)
                GatherLightNode(static_cast<LightNode&>(*node));
        }
    }
}

void SceneNodeRenderer::GatherMeshNode(MeshNode& node)
{
    currentMeshNode = &node;
    MeshData* mesh = node.mesh.GetPayload();
    if (!mesh)
        return;
    if (shadowGathering && !node.castsShadow)
        return;
    const float4x4* world = nullptr; // brought up to date once per node, at its first use
    for (uint32_t k = 0; k < mesh->currentSubsets->count; ++k) {
        if (mesh->LevelCount() != 0) {
            if (!world)
                world = node.GetWorldMatrix();
            // Without a camera there is nothing to measure the node in: the level stays.
            if (CameraNode* camera = cameraSlot ? *cameraSlot : nullptr)
                mesh->SelectLevel(ChooseMeshLevel(*mesh, *world, node.GetBoundingRadius(), *camera));
            // The level chosen may have fewer subsets than the one counted above.
            if (k >= mesh->currentSubsets->count)
                break;
        }
        MeshSubset& subset = mesh->currentSubsets->items[k];
        DrawRecord& record = subset.drawRecord;
        currentDrawRecord = &record;
        if (!record.filled)
            FillDrawRecord(record, *mesh, subset, node.instancing);
        if (!world)
            world = node.GetWorldMatrix();
        AppendInstance(&record, world);
    }
}

void SceneNodeRenderer::GatherLightNode(LightNode& node)
{
    currentLightNode = &node;
    if (shadowGathering)
        return;
    std::vector<LightRecord*>* list = instanceList.lightList;
    if (node.lightType == kLightAmbient && list) {
        for (LightRecord* other : *list) {
            if (other && other != &node.record && other->lightType == kLightAmbient) {
                // One ambient term: the other ambient record takes this node's colour too.
                other->colour = other->colour + node.colour;
                return;
            }
        }
    }
    currentLightRecord = &node.FillLightRecord();
    if (list)
        list->push_back(&node.record);
    FrameLightNodes& met = GetFrameLightNodes();
    for (uint32_t i = 0; i < met.count; ++i) {
        if (met[i] == &node)
            return;
    }
    met.Push(&node);
}
