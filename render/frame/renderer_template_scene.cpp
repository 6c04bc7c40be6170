#include "render/frame/renderer_template_scene.h"

#include <cmath>

#include <emmintrin.h>
#include "render/frame/draw_record.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/light_node.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/mesh.h"
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

// Lane `lane` of v in all four lanes (one instruction: the copy and the
// shuffle together).
template <int lane>
__m128 Spread(__m128 v)
{
    return _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(v), _MM_SHUFFLE(lane, lane, lane, lane)));
}

// out = s x r x t, as (s x r) x t: each element's products and sums in the
// same order as two Multiply calls, so the same bits, with s x r kept in
// registers.
void Compose(const float4x4& s, const float4x4& r, const float4x4& t, float4x4& out)
{
    const __m128 r0 = _mm_loadu_ps(r.m), r1 = _mm_loadu_ps(r.m + 4);
    const __m128 r2 = _mm_loadu_ps(r.m + 8), r3 = _mm_loadu_ps(r.m + 12);
    const __m128 t0 = _mm_loadu_ps(t.m), t1 = _mm_loadu_ps(t.m + 4);
    const __m128 t2 = _mm_loadu_ps(t.m + 8), t3 = _mm_loadu_ps(t.m + 12);
    for (int i = 0; i < 4; ++i) {
        const __m128 row = _mm_loadu_ps(s.m + 4 * i);
        __m128 sr = _mm_mul_ps(Spread<0>(row), r0);
        sr = _mm_add_ps(sr, _mm_mul_ps(Spread<1>(row), r1));
        sr = _mm_add_ps(sr, _mm_mul_ps(Spread<2>(row), r2));
        sr = _mm_add_ps(sr, _mm_mul_ps(Spread<3>(row), r3));
        __m128 w = _mm_mul_ps(Spread<0>(sr), t0);
        w = _mm_add_ps(w, _mm_mul_ps(Spread<1>(sr), t1));
        w = _mm_add_ps(w, _mm_mul_ps(Spread<2>(sr), t2));
        w = _mm_add_ps(w, _mm_mul_ps(Spread<3>(sr), t3));
        _mm_storeu_ps(out.m + 4 * i, w);
    }
}

// The node's world matrix brought up to date by the GetWorldMatrix rule, in
// line for a node without a parent (a child goes up its chain the usual way).
const float4x4* UpToDateWorld(SceneNode& node)
{
    if (node.isStatic && node.worldMatrixValid)
        return &node.worldMatrix;
    if (node.GetParentNode())
        return node.GetWorldMatrix();
    Transform& t = node.transform;
    if (t.scaleDirty || t.rotationDirty || t.translationDirty)
        t.RefreshMatrices();
    Compose(t.scaleMatrix, t.rotationMatrix, t.translationMatrix, node.worldMatrix);
    if (node.isStatic)
        node.worldMatrixValid = 1;
    node.worldDirty = 0;
    return &node.worldMatrix;
}

} // namespace

// In line in the walk: most nodes are mesh nodes.
[[gnu::always_inline]] inline void SceneNodeRenderer::GatherMeshNode(MeshNode& node)
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
                world = UpToDateWorld(node);
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
            world = UpToDateWorld(node);
        AppendInstance(&record, world);
    }
}

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
