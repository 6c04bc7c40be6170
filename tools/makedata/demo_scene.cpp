#include "tools/makedata/demo_scene.h"

#include <cstring>

#include "kernel/math/euler.h"
#include "kernel/math/float4x4.h"
#include "kernel/rs_hash.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/device/vertex_layout.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
#include "render/resources/mesh.h"

namespace makedata {

namespace {

// The light cameras' windows are as many pixels as the back buffer, each of
// r / 370 world units: from 800 x 600 up, 1.25 r holds the caster.
constexpr float kWindowMargin = 1.25f;

// Subsets and materials keep their ids in the file (format version 1), so
// each subset finds its material again when the scene is read.
constexpr uint16_t kStoreId = 1;

} // namespace

float3 DemoLayout::GroundTopLow() const
{
    return {groundPosition.x + groundLow.x, groundPosition.y + groundHigh.y, groundPosition.z + groundLow.z};
}

float3 DemoLayout::GroundTopHigh() const
{
    return {groundPosition.x + groundHigh.x, groundPosition.y + groundHigh.y, groundPosition.z + groundHigh.z};
}

DemoLayout MakeDemoLayout()
{
    DemoLayout layout;
    // The view looks down at about (-0.8, 0, -2.3) and the light, from above
    // -x -z, at about (-0.1, 0, -1.1): the casters stand around them across
    // the view, the cone furthest back, their shadows falling towards the
    // viewer; the ring faces the light, its shadow a ring.
    SceneObject sphere{"Object01", MakeSphere(0.75f, 32, 16), {-2.4f, 0.75f, -0.2f}, 0.0f,
                       {0.80f, 0.30f, 0.25f, 1.0f}, {0.45f, 40.0f, 0.0f, 0.0f}, kWindowMargin};
    SceneObject cylinder{"Object02", MakeCylinder(0.45f, 1.8f, 32), {1.0f, 0.0f, -4.2f}, 0.0f,
                         {0.30f, 0.45f, 0.80f, 1.0f}, {0.45f, 40.0f, 0.0f, 0.0f}, kWindowMargin};
    SceneObject cone{"Object03", MakeCone(0.8f, 1.6f, 32), {-2.4f, 0.0f, -2.8f}, 0.0f,
                     {0.35f, 0.70f, 0.35f, 1.0f}, {0.30f, 24.0f, 0.0f, 0.0f}, kWindowMargin};
    // The ring stands on its rim; its upper half shadows the inside of its
    // lower half, which the self-shadow map shows.
    SceneObject ring{"Object04", MakeTorus(0.7f, 0.25f, 48, 16), {-0.1f, 0.95f, -1.9f}, 35.0f,
                     {0.85f, 0.70f, 0.30f, 1.0f}, {0.60f, 60.0f, 0.0f, 0.0f}, 2.0f * kWindowMargin};
    layout.groundLow = {-9.0f, -0.5f, -9.0f};
    layout.groundHigh = {9.0f, 0.0f, 9.0f};
    layout.groundPosition = {-1.0f, 0.0f, -2.0f};
    SceneObject ground{kGroundName, MakeBox(layout.groundLow, layout.groundHigh), layout.groundPosition, 0.0f,
                       {0.75f, 0.75f, 0.72f, 1.0f}, {0.05f, 8.0f, 0.0f, 0.0f}, 1.0f};
    layout.objects = {std::move(sphere), std::move(cylinder), std::move(cone), std::move(ring), std::move(ground)};
    return layout;
}

void FillMesh(MeshResource& mesh, const MeshGeometry& geometry, uint32_t materialId, float4 centre, float radius)
{
    if (!mesh.GetBlock())
        mesh.CreateUnique();
    MeshData* data = mesh.GetPayload();
    if (!data)
        return;
    const uint32_t count = static_cast<uint32_t>(geometry.vertices.size());
    mesh.UseDefaultDeclaration();
    mesh.CreateMeshVertexBuffer(count);
    mesh.LockVertexBuffer(0);
    for (uint32_t i = 0; i < count; ++i) {
        const MeshVertex& v = geometry.vertices[i];
        mesh.WriteVertexElement(i, gfx::kDeclUsagePosition, {v.position.x, v.position.y, v.position.z});
        mesh.WriteVertexElement(i, gfx::kDeclUsageNormal, {v.normal.x, v.normal.y, v.normal.z});
        mesh.WriteVertexElement(i, gfx::kDeclUsageTexcoord, {v.u, v.v});
        mesh.WriteVertexElement(i, gfx::kDeclUsageTangent, {v.tangent.x, v.tangent.y, v.tangent.z});
        mesh.WriteVertexElement(i, gfx::kDeclUsageBinormal, {v.binormal.x, v.binormal.y, v.binormal.z});
    }
    mesh.UnlockVertexBuffer();

    mesh.AllocSubsets(1);
    MeshSubset& subset = data->currentSubsets->items[0];
    IndexBufferData* indices = subset.GetPayload();
    if (!indices)
        return;
    const uint32_t indexCount = static_cast<uint32_t>(geometry.indices.size());
    const bool wide = indices->AllocIndexBuffer(indexCount, count, gfx::kUsageWriteOnly);
    if (void* locked = indices->LockIndexBuffer(0)) {
        for (uint32_t i = 0; i < indexCount; ++i) {
            if (wide)
                static_cast<uint32_t*>(locked)[i] = geometry.indices[i];
            else
                static_cast<uint16_t*>(locked)[i] = static_cast<uint16_t>(geometry.indices[i]);
        }
        indices->UnlockIndexBuffer();
    }
    indices->subsetValues = centre;
    indices->subsetScalar = radius;
    subset.formatVersion = kStoreId;
    subset.material.AttachById(materialId);
    mesh.SetState(resource_state::kLoaded);
}

void BuildDemoScene(Scene& scene, const DemoLayout& layout)
{
    scene.CreateUnique();
    const uint32_t count = static_cast<uint32_t>(layout.objects.size());
    scene.Materials()->Allocate(count);
    scene.Nodes()->Allocate(count);
    for (const SceneObject& object : layout.objects) {
        MaterialResource* material = scene.Materials()->Push() = new MaterialResource;
        material->CreateById(RSHash(object.name));
        material->SetState(resource_state::kLoaded);
        material->formatVersion = kStoreId;
        // The effect is named, not loaded: it is compiled where the scene is read.
        Effect* effect = material->GetEffect();
        effect->CreateUnique();
        if (EffectData* data = effect->GetPayload())
            data->sourceName.Assign(std::string_view(kSceneEffect));
        effect->SetState(resource_state::kLoaded);
        effect->SetAutoMatrix("MatWorldViewProj", 0);
        effect->SetAutoMatrix("MatWorld", 1);
        effect->SetVector("matColor", &object.colour);
        effect->SetVector("matSpecular", &object.specular);

        auto* node = new MeshNode;
        scene.Nodes()->Push() = node;
        node->SetName(object.name);
        node->SetPosition({object.position.x, object.position.y, object.position.z, 1.0f});
        node->SetRotation(QuatFromEulerDegrees(0.0f, object.yawDegrees, 0.0f));
        const Sphere bounds = BoundsOf(object.mesh);
        const float radius = bounds.radius * object.windowScale;
        FillMesh(node->mesh, object.mesh, material->GetId(), {bounds.centre.x, bounds.centre.y, bounds.centre.z, 1.0f},
                 radius);
        const float c = std::sqrt(bounds.centre.x * bounds.centre.x + bounds.centre.y * bounds.centre.y +
                                  bounds.centre.z * bounds.centre.z);
        node->radius = c + radius;
    }
    scene.SetState(resource_state::kLoaded);
}

std::vector<Occluder> CasterOccluders(Scene& scene, const DemoLayout& layout)
{
    std::vector<Occluder> occluders;
    for (const SceneObject& object : layout.objects) {
        if (object.name == kGroundName)
            continue;
        SceneNode* node = scene.FindNode(object.name);
        if (!node)
            continue;
        const float4x4 world = *node->GetWorldMatrix();
        Occluder occluder;
        const Sphere local = BoundsOf(object.mesh);
        occluder.bounds = {TransformPoint(local.centre, world), local.radius * 1.001f};
        const MeshGeometry& mesh = object.mesh;
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3)
            occluder.triangles.push_back({TransformPoint(mesh.vertices[mesh.indices[i]].position, world),
                                          TransformPoint(mesh.vertices[mesh.indices[i + 1]].position, world),
                                          TransformPoint(mesh.vertices[mesh.indices[i + 2]].position, world)});
        occluders.push_back(std::move(occluder));
    }
    return occluders;
}

} // namespace makedata
