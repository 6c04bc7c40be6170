// Scene files: a scene of materials, mesh nodes and plain nodes saved and
// loaded back; the byte layout of each file version; damaged files refused
// whole; what is saved of parents outside the scene and of mesh nodes without
// a mesh; scenes that could not be read back not saved.
#include "render/nodes/scene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "kernel/archive.h"
#include "kernel/math/euler.h"
#include "platform/gfx/device/vertex_layout.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "tests/render/device_fixture.h"
#include "tests/render/effect_test_support.h"
#include "tests/render/scene_file_support.h"
#include "tests/render/texture_test_support.h"
#include "tests/scene/scene_test_support.h"
#include "tests/support/archive_bytes.h"

namespace {

using effect_test::EffectFolder;

class SceneFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(folder.dir / "data"); }

    bool Shown(const std::string& text) const
    {
        for (const auto& box : boxes.Shown())
            if (box.text.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::string AllShown() const
    {
        std::string all;
        // Each box text without the box's own closing lines.
        for (const auto& box : boxes.Shown())
            all += box.text.substr(0, box.text.find('\r')) + "|";
        return all;
    }
    void Write(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(folder.dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                  static_cast<std::streamsize>(bytes.size()));
    }
    Bytes Read(const std::string& name)
    {
        std::ifstream in(folder.dir / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    EffectFolder folder;
    platform::testing::ScriptedMessageBoxes boxes;
    render_test::CoutCapture quiet;
};

} // namespace

TEST_F(SceneFiles, ASceneComesBackWithItsNodesHierarchyPlacementsAndMaterials)
{
    Write("stone.tga", texture_test::Tga32(4, 4, texture_test::Picture(4, 4)));
    float4x4 worlds[5];
    uint32_t materialIds[2];
    uint32_t sceneId = 0;
    {
        Scene scene;
        BuildScene(scene);
        for (uint32_t i = 0; i < 5; ++i)
            worlds[i] = *scene.Nodes()->items[i]->GetWorldMatrix();
        materialIds[0] = scene.Materials()->items[0]->GetId();
        materialIds[1] = scene.Materials()->items[1]->GetId();
        sceneId = scene.GetId();
        scene.SaveToFile("data/demo.ids");
    }
    const Bytes saved = Read("data/demo.ids");
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved[0] | saved[1] << 8, 1);

    Scene scene;
    EXPECT_TRUE(scene.LoadByName("data/demo.ids"));
    EXPECT_EQ(AllShown(), "");
    EXPECT_EQ(scene.GetState(), 2u);
    EXPECT_EQ(scene.GetId(), sceneId); // its id text's, not the file name's
    SceneList<SceneNode>& nodes = *scene.Nodes();
    ASSERT_EQ(nodes.count, 5u);
    EXPECT_EQ(nodes.name, "nodes");

    // Parents are written first; otherwise the list order stays.
    const char* order[] = {"Object01", "Object02", "camera", "group", "Object03"};
    const int original[] = {2, 0, 1, 3, 4};
    for (uint32_t i = 0; i < 5; ++i) {
        SceneNode* node = nodes.items[i];
        EXPECT_EQ(node->name.View(), order[i]);
        EXPECT_EQ(node, scene.FindNode(order[i]));
        ExpectRows(*node->GetWorldMatrix(), {worlds[original[i]].Row(0), worlds[original[i]].Row(1),
                                             worlds[original[i]].Row(2), worlds[original[i]].Row(3)});
    }
    SceneNode* base = nodes.items[0];
    EXPECT_EQ(base->GetParentNode(), nullptr);
    EXPECT_EQ(nodes.items[1]->GetParentNode(), base);
    EXPECT_EQ(nodes.items[2]->GetParentNode(), base);
    EXPECT_EQ(nodes.items[4]->GetParentNode(), nodes.items[3]);
    EXPECT_EQ(base->GetChildren().size(), 2u);
    EXPECT_EQ(nodes.items[0]->kind, scene_node_kind::kMesh);
    EXPECT_EQ(nodes.items[3]->kind, scene_node_kind::kPlain);
    EXPECT_EQ(nodes.items[3]->isStatic, 1);
    EXPECT_EQ(nodes.items[3]->radius, 7.0f);

    // The materials keep their ids, and the subsets draw with them again.
    SceneList<MaterialResource>& materials = *scene.Materials();
    ASSERT_EQ(materials.count, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        MaterialResource& material = *materials.items[i];
        EXPECT_EQ(material.GetId(), materialIds[i]);
        EXPECT_EQ(material.GetState(), 2u);
        ASSERT_NE(material.GetEffect(), nullptr);
        EXPECT_EQ(material.GetEffect()->GetState(), 2u);
        EXPECT_EQ(material.GetEffect()->GetPayload()->sourceName.View(), "particle.fx");
        EXPECT_EQ(material.GetEffect()->params.Group("").floats["particleSize"], 2.0f + i);
    }
    TextureResource* stone = materials.items[0]->GetEffect()->params.Group("").textures["particleTexture"];
    ASSERT_NE(stone, nullptr);
    EXPECT_EQ(stone->GetPayload()->fileName.View(), "stone.tga");
    const int materialOf[] = {0, 1, -1, -1, 1};
    for (uint32_t i : {0u, 1u, 4u}) {
        auto* node = dynamic_cast<MeshNode*>(nodes.items[i]);
        ASSERT_NE(node, nullptr);
        MeshData* mesh = node->mesh.GetPayload();
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(node->mesh.GetState(), 2u);
        EXPECT_EQ(mesh->currentVertexSet->buffer.GetState(), 2u);
        EXPECT_EQ(mesh->currentDecl->GetState(), 2u);
        ASSERT_EQ(mesh->currentSubsets->count, 1u);
        MeshSubset& subset = mesh->currentSubsets->items[0];
        EXPECT_EQ(subset.GetState(), 2u);
        EXPECT_EQ(subset.material.GetBlock(), materials.items[materialOf[i]]->GetBlock()) << i;
    }

    // Written again it reads back the same.
    scene.SaveToFile("data/again.ids");
    Scene again;
    again.LoadByName("data/again.ids");
    ASSERT_EQ(again.Nodes()->count, 5u);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(again.Nodes()->items[i]->name.View(), order[i]);
    EXPECT_EQ(again.Materials()->items[1]->GetId(), materialIds[1]);

    // Not known by the file name, the scene is read again by a second load.
    Scene other;
    EXPECT_TRUE(other.LoadByName("data/demo.ids"));
    EXPECT_NE(other.GetBlock(), scene.GetBlock());
    EXPECT_EQ(AllShown(), "");
}

TEST_F(SceneFiles, ReleasingTheSceneDestroysItsNodesAndMaterials)
{
    Write("stone.tga", texture_test::Tga32(4, 4, texture_test::Picture(4, 4)));
    uint32_t materialId = 0;
    {
        Scene scene;
        BuildScene(scene);
        materialId = scene.Materials()->items[0]->GetId();
        scene.SaveToFile("data/demo.ids");
    }
    EXPECT_EQ(MaterialResource::RegisteredBlock(materialId), nullptr);
    {
        Scene scene;
        scene.LoadByName("data/demo.ids");
        EXPECT_NE(MaterialResource::RegisteredBlock(materialId), nullptr);
        // Two handles: the scene's and the subset's.
        EXPECT_EQ(MaterialResource::ReferenceCount(materialId), 2u);
    }
    EXPECT_EQ(MaterialResource::RegisteredBlock(materialId), nullptr);
    EXPECT_EQ(Scene::RegisteredBlock(RSHash("data/demo.ids")), nullptr);
}

TEST_F(SceneFiles, TheFileOfOnePlainNodeIsByteExact)
{
    Scene scene;
    scene.CreateUnique();
    scene.Nodes()->Allocate(1);
    Add(scene, new SceneNode, "a");
    const Bytes saved = SavedBytes(scene);
    EXPECT_EQ(saved, OneNodeFile(1, IntToString(static_cast<int32_t>(scene.GetId()))).bytes);
}

TEST_F(SceneFiles, EachVersionReadsItsOwnLayout)
{
    // Version 0: no id text, no materials, names.
    Write("data/v0.ids", OneNodeFile(0, "").bytes);
    Scene v0;
    v0.LoadByName("data/v0.ids");
    ASSERT_EQ(v0.GetState(), 2u);
    EXPECT_EQ(v0.Materials()->count, 0u);
    ASSERT_EQ(v0.Nodes()->count, 1u);
    EXPECT_EQ(v0.FindNode("a"), v0.Nodes()->items[0]);

    // Version 2: no names; a node is named only by its id text, and a node
    // without one is not named after the text read before it.
    Write("data/v2.ids", Version2File().bytes);
    Scene scene2;
    scene2.LoadByName("data/v2.ids");
    ASSERT_EQ(scene2.GetState(), 2u);
    ASSERT_EQ(scene2.Nodes()->count, 2u);
    EXPECT_EQ(scene2.FindNode("lamp"), scene2.Nodes()->items[0]);
    EXPECT_EQ(scene2.Nodes()->items[1]->name.View(), "");
    EXPECT_EQ(scene2.Nodes()->items[1]->GetParentNode(), scene2.Nodes()->items[0]);
    EXPECT_EQ(AllShown(), "");
}

TEST_F(SceneFiles, ParentFieldsNameEarlierNodesAndDuplicateNamesFindTheFirst)
{
    ByteBuilder file;
    file.U16(1).Text("5").U16(0).U16(3);
    PlainNode(file, 0, "twin");
    PlainNode(file, 0, "twin");
    PlainNode(file, 2, "child");
    Write("data/tree.ids", file.bytes);
    Scene scene;
    scene.LoadByName("data/tree.ids");
    ASSERT_EQ(scene.Nodes()->count, 3u);
    EXPECT_EQ(scene.Nodes()->items[2]->GetParentNode(), scene.Nodes()->items[1]);
    EXPECT_EQ(scene.FindNode("twin"), scene.Nodes()->items[0]);

    EXPECT_EQ(scene.FindNode("nobody"), nullptr);
    EXPECT_EQ(AllShown(), "Can't find node: nobody\n|");
}

TEST_F(SceneFiles, AMeshNodeMayNameItsMeshInsteadOfHoldingIt)
{
    MeshResource rock;
    rock.BuildVertexBuffer({{0, 0, 0}, {1, 0, 0}}, nullptr, nullptr);
    rock.SetName("rock");
    Write("data/named.ids", NamedMeshFile("rock").bytes);
    Scene scene;
    scene.LoadByName("data/named.ids");
    ASSERT_EQ(scene.GetState(), 2u);
    auto* node = dynamic_cast<MeshNode*>(scene.FindNode("boulder"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->mesh.GetBlock(), rock.GetBlock());
    EXPECT_EQ(node->radius, 3.0f);
    EXPECT_EQ(AllShown(), "");
}

TEST_F(SceneFiles, DamagedFilesAreRefusedWhole)
{
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    };
    ByteBuilder forward;
    forward.U16(1).Text("5").U16(0).U16(2);
    PlainNode(forward, 0, "root");
    PlainNode(forward, 3, "lost");
    ByteBuilder self;
    self.U16(1).Text("5").U16(0).U16(1);
    PlainNode(self, 1, "self");
    ByteBuilder kind;
    kind.U16(1).Text("5").U16(0).U16(2);
    PlainNode(kind, 0, "root");
    PlainNode(kind, 1, "camera", 2);
    ByteBuilder manyNodes;
    manyNodes.U16(1).Text("5").U16(0).U16(65535);
    PlainNode(manyNodes, 0, "only");
    ByteBuilder manyMaterials;
    manyMaterials.U16(1).Text("5").U16(65535).U16(0);
    ByteBuilder deep;
    deep.U16(1).Text("5").U16(0).U16(kMaxSceneDepth + 2);
    for (uint32_t i = 0; i < kMaxSceneDepth + 2; ++i)
        PlainNode(deep, static_cast<uint16_t>(i), "link");
    Bytes cut = OneNodeFile(1, "5").bytes;
    cut.resize(cut.size() - 1);
    for (const Case& c :
         {Case{"forward parent", forward.bytes, "Scene refused: node 1 has parent 3, which does not come before it."},
          Case{"own parent", self.bytes, "Scene refused: node 0 has parent 1, which does not come before it."},
          Case{"kind", kind.bytes, "Scene refused: node 1 is of unknown kind 2."},
          Case{"node count", manyNodes.bytes, "Resource file data/bad.ids is truncated or damaged."},
          Case{"material count", manyMaterials.bytes, "Resource file data/bad.ids is truncated or damaged."},
          Case{"deep", deep.bytes, "Scene refused: node 1025 lies more than 1024 levels deep."},
          Case{"cut", cut, "Resource file data/bad.ids is truncated or damaged."}}) {
        SCOPED_TRACE(c.what);
        boxes.Clear();
        Write("data/bad.ids", c.bytes);
        Scene scene;
        EXPECT_TRUE(scene.LoadByName("data/bad.ids"));
        EXPECT_TRUE(Shown(c.message)) << AllShown();
        EXPECT_TRUE(Shown("Resource file data/bad.ids is truncated or damaged.")) << AllShown();
        EXPECT_EQ(scene.GetState(), 0u);
        ASSERT_NE(scene.Nodes(), nullptr);
        EXPECT_EQ(scene.Nodes()->count, 0u);
        EXPECT_EQ(scene.Materials()->count, 0u);
    }

    // A missing file leaves the scene empty, even one that held a scene.
    Write("data/one.ids", OneNodeFile(1, "5").bytes);
    Scene missing;
    missing.LoadByName("data/one.ids");
    ASSERT_EQ(missing.Nodes()->count, 1u);
    boxes.Clear();
    missing.LoadByName("data/none.ids");
    EXPECT_EQ(AllShown(), "resource object is already loaded.\n|Can't load file: data/none.ids\n|");
    EXPECT_EQ(missing.GetState(), 0u);
    EXPECT_EQ(missing.Nodes()->count, 0u);
}

TEST_F(SceneFiles, EveryCutOfAFullSceneIsRefused)
{
    Write("stone.tga", texture_test::Tga32(4, 4, texture_test::Picture(4, 4)));
    {
        Scene scene;
        BuildScene(scene);
        scene.SaveToFile("data/demo.ids");
    }
    const Bytes saved = Read("data/demo.ids");
    for (size_t size = 0; size < saved.size(); ++size) {
        Scene scene;
        EXPECT_FALSE(scene.LoadFromMemory(saved.data(), static_cast<uint32_t>(size), "cut")) << size;
        ASSERT_EQ(scene.Nodes(), nullptr) << size;
    }
    Scene whole;
    EXPECT_TRUE(whole.LoadFromMemory(saved.data(), static_cast<uint32_t>(saved.size()), "whole"));
    EXPECT_EQ(whole.Nodes()->count, 5u);
}

TEST_F(SceneFiles, ScenesThatCouldNotBeReadBackAreNotSaved)
{
    // A parent outside the scene is saved as none; a mesh node without a mesh
    // with an empty one.
    SceneNode outside;
    Scene loose;
    loose.CreateMeshNodes(2);
    loose.Nodes()->items[1]->SetParent(&outside);
    loose.SaveToFile("data/loose.ids");
    EXPECT_EQ(AllShown(), "");
    Scene looseBack;
    looseBack.LoadByName("data/loose.ids");
    ASSERT_EQ(looseBack.Nodes()->count, 2u);
    EXPECT_EQ(looseBack.Nodes()->items[1]->GetParentNode(), nullptr);
    const MeshData* empty = static_cast<MeshNode*>(looseBack.Nodes()->items[1])->mesh.GetPayload();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->baseSubsets.count, 0u);
    EXPECT_EQ(AllShown(), "");

    for (uint16_t kind : {scene_node_kind::kCamera, scene_node_kind::kLight}) {
        boxes.Clear();
        Scene other;
        other.CreateUnique();
        other.Nodes()->Allocate(1);
        Add(other, new SceneNode, "other")->kind = kind;
        other.SaveToFile("data/other.ids");
        EXPECT_EQ(AllShown(), "Scene not saved to data/other.ids: node 0 is of kind " + std::to_string(kind) +
                                  ", which a scene file cannot hold.\n|");
        EXPECT_FALSE(std::filesystem::exists(folder.dir / "data/other.ids"));
    }

    boxes.Clear();
    Scene deep;
    deep.CreateUnique();
    deep.Nodes()->Allocate(kMaxSceneDepth + 2);
    // Listed children first: the depth counts parents, not list places.
    std::vector<SceneNode*> chain;
    for (uint32_t i = 0; i < kMaxSceneDepth + 2; ++i)
        chain.push_back(Add(deep, new SceneNode, "link"));
    for (uint32_t i = 0; i + 1 < chain.size(); ++i)
        chain[i]->SetParent(chain[i + 1]);
    deep.SaveToFile("data/deep.ids");
    EXPECT_EQ(AllShown(), "Scene not saved to data/deep.ids: node 0 lies more than 1024 levels deep.\n|");
    chain.back()->SetParent(nullptr);
    chain[0]->SetParent(nullptr); // one level less is kept
    boxes.Clear();
    deep.SaveToFile("data/deep.ids");
    EXPECT_EQ(AllShown(), "");
    Scene deepBack;
    deepBack.LoadByName("data/deep.ids");
    EXPECT_EQ(deepBack.Nodes()->count, kMaxSceneDepth + 2);
    EXPECT_EQ(AllShown(), "");
}

TEST_F(SceneFiles, CreateMeshNodesFillsAFreshBlock)
{
    Scene empty;
    empty.CreateMeshNodes(0);
    EXPECT_EQ(empty.GetState(), 2u);
    EXPECT_EQ(empty.Nodes()->count, 0u);

    Scene particles;
    particles.CreateMeshNodes(3);
    EXPECT_EQ(particles.GetState(), 2u);
    ASSERT_EQ(particles.Nodes()->count, 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_NE(dynamic_cast<MeshNode*>(particles.Nodes()->items[i]), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(particles.Nodes()->items[i]) % 16, 0u);
    }
    EXPECT_EQ(AllShown(), "");
}

TEST_F(SceneFiles, NestedRecordsKeepTheirResourceLayouts)
{
    // A material with an empty texture map; a mesh node whose mesh holds the
    // default declaration, no vertices and one subset of no indices.
    Scene scene;
    scene.CreateUnique();
    scene.Materials()->Allocate(1);
    MakeUniqueMaterial(*(scene.Materials()->Push() = new MaterialResource));
    scene.Nodes()->Allocate(1);
    MeshNode* node = Add(scene, new MeshNode, "m");
    node->mesh.CreateUnique();
    MeshData* mesh = node->mesh.GetPayload();
    mesh->currentDecl->CreateUnique();
    node->mesh.AllocSubsets(1);
    const IndexBufferData& indices = *mesh->baseSubsets.items[0].GetPayload();
    const VertexBufferData& vertices = *mesh->baseVertexSet.buffer.GetPayload();

    ByteBuilder file;
    file.U16(1).Text(IntToString(static_cast<int32_t>(scene.GetId())));
    // The material: unversioned, its effect (no source, no parameters), no textures.
    file.U16(1).U16(0).U16(0).U8(0).U32(0).U32(0).U32(0).U32(0);
    file.U16(1).U16(0).Text("m").U16(1).U16(0).F32(0).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1);
    file.U16(0);                             // the mesh
    file.U16(0).U32(0).U32(vertices.stride); // no vertices, so no vertex data
    file.U16(0).U32(4);                      // the default declaration: four matrix rows in stream 1
    for (uint16_t row = 0; row < 4; ++row)
        file.U16(1).U16(static_cast<uint16_t>(16 * row)).U8(gfx::kDeclFloat4).U8(0).U8(gfx::kDeclUsageTexcoord)
            .U8(static_cast<uint8_t>(row + 1));
    file.U32(1).U32(gfx::kDeclUsageTexcoord).U32(48);
    // One subset: no indices and, unversioned, no material text.
    file.U32(1).U16(0).U32(0).U8(indices.indicesPerPrimitive).F4(0, 0, 0, 0).F32(indices.subsetScalar);
    const Bytes saved = SavedBytes(scene);
    EXPECT_EQ(saved, file.bytes);

    Scene back;
    ASSERT_TRUE(back.LoadFromMemory(saved.data(), static_cast<uint32_t>(saved.size()), "nested"));
    ASSERT_EQ(back.Materials()->count, 1u);
    EXPECT_TRUE(back.Materials()->items[0]->GetEffect()->params.Group("").textures.empty());
    auto* read = dynamic_cast<MeshNode*>(back.Nodes()->items[0]);
    ASSERT_NE(read, nullptr);
    MeshSubset& subset = read->mesh.GetPayload()->baseSubsets.items[0];
    EXPECT_EQ(subset.GetPayload()->indexCount, 0u);
    EXPECT_FALSE(subset.material.IsValid());
    EXPECT_EQ(read->mesh.GetPayload()->baseDecl.GetPayload()->usageOffsets.at(gfx::kDeclUsageTexcoord), 48u);
}
