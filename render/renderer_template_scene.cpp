#include "render/renderer_template_scene.h"

#include "render/draw_record.h"
#include "render/mesh.h"
#include "render/mesh_node.h"
#include "render/render_pass_frame.h"
#include "render/vertex_buffer.h"

namespace {
void FillDrawRecord(DrawRecord& record, MeshData& mesh, MeshSubset& subset, uint8_t instancing)
{
    VertexBufferData* vertices = mesh.currentVertexSet->buffer.GetPayload();
    record.vertexBuffer = vertices ? vertices->buffer : nullptr;
    record.vertexCount = vertices ? vertices->vertexCount : 0;
    record.declaration = mesh.currentDecl->GetVertexDecl();
    record.stride0 = mesh.currentDecl->GetStreamStride(0);
    record.stride1 = mesh.currentDecl->GetStreamStride(1);
    IndexBufferData* indices = subset.GetPayload();
    record.indicesPerPrimitive = indices ? indices->indicesPerPrimitive : 0;
    record.indexBuffer = indices ? indices->buffer : nullptr;
    record.primitiveCount = indices ? indices->primitiveCount : 0;
    record.material = subset.material.GetEffect();
    record.filled = 1;
    if (!instancing)
        record.flags = kDrawRecordNoInstancing;
}
} // namespace

void SceneNodeRenderer::UpdateScene()
{
    PassFrameRenderer* frame = GetPassFrameRenderer();
    ResetInstances(frame ? &frame->frameLights : nullptr);
    if (!enabled)
        return;
    for (RenderLayer* layer : layers) {
        if (!layer || !layer->enabled)
            continue;
        for (SceneNode* node : layer->nodes) {
            currentNode = node;
            if (!node || !node->visible || node->kind != scene_node_kind::kMesh)
                continue;
            auto* meshNode = static_cast<MeshNode*>(node);
            currentMeshNode = meshNode;
            MeshData* mesh = meshNode->mesh.GetPayload();
            if (!mesh)
                continue;
            for (uint32_t k = 0; k < mesh->currentSubsets->count; ++k) {
                if (shadowGathering && !meshNode->castsShadow)
                    continue;
                MeshSubset& subset = mesh->currentSubsets->items[k];
                DrawRecord& record = subset.drawRecord;
                currentDrawRecord = &record;
                if (!record.filled)
                    FillDrawRecord(record, *mesh, subset, node->instancing);
                AppendInstance(&record, node->GetWorldMatrix());
            }
        }
    }
}
