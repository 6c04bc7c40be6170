#pragma once
// Scenes and scene files for the scene-file tests and the fuzz seeds: a scene
// built in memory with materials, mesh nodes and plain nodes, and
// hand-written file records.
#include <gtest/gtest.h>

#include <string>

#include "kernel/math/euler.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "tests/support/archive_bytes.h"

template <class T>
T* Add(Scene& scene, T* node, const char* name)
{
    scene.Nodes()->Push() = node;
    node->SetName(name);
    return node;
}

// A mesh of one subset drawn with the material.
inline void GiveMesh(MeshNode& node, MaterialResource& material, float3 corner)
{
    node.mesh.BuildVertexBuffer({{0, 0, 0}, corner, {0, corner.y, 0}}, nullptr, nullptr);
    MeshSubset& subset = node.mesh.GetPayload()->baseSubsets.items[0];
    subset.formatVersion = 1; // stores its material's id
    ASSERT_TRUE(subset.material.AttachById(material.GetId()));
}

// Two materials; a mesh node listed before its parent, a plain node under that
// parent, a static group with a mesh node under it.
inline void BuildScene(Scene& scene)
{
    scene.CreateUnique();
    scene.Materials()->Allocate(2);
    for (int i = 0; i < 2; ++i) {
        MaterialResource* material = scene.Materials()->Push() = new MaterialResource;
        MakeUniqueMaterial(*material);
        material->formatVersion = 1; // stores its id
        material->GetEffect()->LoadByName("particle.fx");
        material->GetEffect()->SetFloat("particleSize", 2.0f + i);
    }
    scene.Materials()->items[0]->textureSlots.GetTextureSlot("particleTexture")->LoadByName("stone.tga");

    scene.Nodes()->Allocate(5);
    auto* rock = Add(scene, new MeshNode, "Object02");
    auto* camera = Add(scene, new SceneNode, "camera");
    auto* base = Add(scene, new MeshNode, "Object01");
    auto* group = Add(scene, new SceneNode, "group");
    auto* leaf = Add(scene, new MeshNode, "Object03");
    GiveMesh(*rock, *scene.Materials()->items[1], {1, 2, 0});
    GiveMesh(*base, *scene.Materials()->items[0], {4, 0, 0});
    GiveMesh(*leaf, *scene.Materials()->items[1], {0, 0, 3});
    rock->SetParent(base);
    camera->SetParent(base);
    leaf->SetParent(group);
    rock->SetPosition({0, 0, 5, 1});
    camera->SetPosition({0, 10, -20, 1});
    camera->SetRotation(QuatFromEulerDegrees(20, 0, 0));
    base->SetPosition({1, 2, 3, 1});
    base->SetRotation(QuatFromEulerDegrees(0, 90, 0));
    base->SetScale({2, 2, 2, 1});
    group->SetPosition({-4, 0, 0, 1});
    group->radius = 7;
    group->isStatic = 1;
    leaf->SetPosition({0, 1, 0, 1});
    scene.SetState(resource_state::kLoaded);
}

// The worked example: version 1, no materials, one plain root node "a".
inline ByteBuilder OneNodeFile(uint16_t version, const std::string& idText)
{
    ByteBuilder file;
    file.U16(version);
    if (version != 0)
        file.Text(idText);
    if (version >= 1)
        file.U16(0);
    file.U16(1).U16(0);
    if (version < 2)
        file.Text("a");
    file.U16(0).U16(0).F32(0).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1);
    return file;
}

// One node record of a version-1 file: parent, name, kind, node version 0.
inline void PlainNode(ByteBuilder& file, uint16_t parent, const std::string& name, uint16_t kind = 0)
{
    file.U16(parent).Text(name).U16(kind).U16(0).F32(0).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1);
}


// Version 2: no names; "lamp" by its id text, then its child with no id text.
inline ByteBuilder Version2File()
{
    ByteBuilder file;
    file.U16(2).Text("77").U16(0).U16(2);
    file.U16(0).U16(0).U16(1).Text("lamp").F32(0).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1);
    file.U16(1).U16(0).U16(0).F32(0).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1);
    return file;
}

// One mesh node "boulder" (node version 1, radius 3) naming its mesh.
inline ByteBuilder NamedMeshFile(const std::string& meshName)
{
    ByteBuilder file;
    file.U16(1).Text("5").U16(0).U16(1);
    file.U16(0).Text("boulder").U16(1).U16(1).Text("0").F32(3).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1)
        .F4(1, 1, 1, 1).Text(meshName);
    return file;
}
