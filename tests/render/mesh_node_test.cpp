// Mesh nodes: bounding radii from subsets and children, the node file that
// carries a mesh or names one, and node files that leave no mesh.
#include "render/nodes/mesh_node.h"

#include <gtest/gtest.h>

#include "kernel/file_system.h"
#include "tests/render/device_fixture.h"
#include "tests/support/archive_bytes.h"

using render_test::DeviceRun;

namespace {
class MeshNodes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        GetFileSystem()->Mount(SceneTempFolder().string(), "");
    }
    void TearDown() override
    {
        DestroyIOThread(); // it holds the file system among its modules
        DestroyFileSystem();
    }

    bool Shown(const std::string& text)
    {
        for (const auto& box : run.Boxes())
            if (box.text.find(text) != std::string::npos)
                return true;
        return false;
    }
    static void Save(SerializableObject& object, const std::string& name)
    {
        WriteObjectFile(object, (SceneTempFolder() / name).string());
    }

    DeviceRun run;
};

// One subset whose bounding sphere is given.
void GiveSphere(MeshNode& node, float4 centre, float radius)
{
    node.mesh.BuildVertexBuffer({{0, 0, 0}, {1, 0, 0}}, nullptr, nullptr);
    IndexBufferData* data = node.mesh.GetPayload()->baseSubsets.items[0].GetPayload();
    data->subsetValues = centre;
    data->subsetScalar = radius;
}
} // namespace

TEST_F(MeshNodes, RadiusHoldsEverySubsetAndChild)
{
    MeshNode node;
    EXPECT_EQ(node.kind, scene_node_kind::kMesh);
    EXPECT_EQ(node.castsShadow, 1);
    GiveSphere(node, {3, 4, 0, 1}, 1);
    EXPECT_FLOAT_EQ(node.GetBoundingRadius(), 6.0f);

    MeshNode parent, child;
    GiveSphere(parent, {0, 0, 0, 1}, 1);
    GiveSphere(child, {0, 0, 0, 1}, 2);
    child.SetParent(&parent);
    parent.transform.position = {1, 0, 0, 1};
    child.transform.position = {1, 10, 0, 1};
    EXPECT_FLOAT_EQ(parent.GetBoundingRadius(), 12.0f);
    // Kept once computed.
    child.transform.position = {100, 0, 0, 1};
    EXPECT_FLOAT_EQ(parent.GetBoundingRadius(), 12.0f);
}

TEST_F(MeshNodes, WithoutMeshDataTheRadiusIsABug)
{
    MeshNode node;
    run.ClearOut();
    EXPECT_EQ(node.GetBoundingRadius(), 0.0f);
    EXPECT_EQ(node.GetBoundingRadius(), 0.0f);
    EXPECT_EQ(run.Out(), "BUG\nBUG\n");
}

TEST_F(MeshNodes, ANodeFileRoundTripsAndLendsItsMesh)
{
    MeshNode node;
    GiveSphere(node, {0, 0, 0, 1}, 2);
    node.transform.position = {1, 2, 3, 1};
    Save(node, "rock.node");
    const Bytes saved = SavedBytes(node);

    MeshNode back;
    ASSERT_EQ(LoadBytes(back, saved), FileReadResult::Read);
    EXPECT_EQ(back.radius, 2.0f);
    ASSERT_NE(back.mesh.GetPayload(), nullptr);
    EXPECT_EQ(back.mesh.GetPayload()->baseVertexSet.buffer.GetPayload()->vertexCount, 2u);
    EXPECT_EQ(SavedBytes(back), saved);

    // Loading by name reads the whole node file into the node.
    MeshNode user;
    user.transform.position = {9, 9, 9, 1};
    EXPECT_FALSE(user.LoadByName("rock.node"));
    ASSERT_NE(user.mesh.GetPayload(), nullptr);
    EXPECT_EQ(user.mesh.GetState(), 2u);
    EXPECT_EQ(user.mesh.GetPayload()->baseSubsets.count, 1u);
    EXPECT_EQ(user.mesh.GetPayload()->baseSubsets.items[0].GetState(), 2u);
    EXPECT_EQ(user.transform.position.x, 1.0f);
    EXPECT_EQ(user.radius, 2.0f);
}

// A version-1 node whose mesh is named instead of inline.
Bytes NamedMeshNode(const std::string& meshName)
{
    ByteBuilder file;
    file.U16(1).Text("0").F32(5).U8(0).U16(0).F4(0, 0, 0, 1).F4(0, 0, 0, 1).F4(1, 1, 1, 1).Text(meshName);
    return file.bytes;
}

TEST_F(MeshNodes, ANamedMeshIsTheMeshRegisteredUnderThatName)
{
    MeshResource rock;
    rock.BuildVertexBuffer({{0, 0, 0}, {1, 0, 0}}, nullptr, nullptr);
    rock.SetName("rock");
    MeshNode node;
    ASSERT_EQ(LoadBytes(node, NamedMeshNode("rock")), FileReadResult::Read);
    EXPECT_EQ(node.mesh.GetBlock(), rock.GetBlock());
    EXPECT_EQ(node.radius, 5.0f);

    // An unknown name gives the node an empty mesh under that name: nothing
    // loads a mesh by name.
    run.ClearOut();
    MeshNode other;
    ASSERT_EQ(LoadBytes(other, NamedMeshNode("nowhere")), FileReadResult::Read);
    ASSERT_NE(other.mesh.GetPayload(), nullptr);
    EXPECT_EQ(other.mesh.GetId(), RSHash("nowhere"));
    EXPECT_EQ(other.mesh.GetPayload()->baseSubsets.count, 0u);
    EXPECT_EQ(run.Out(), "");
    other.mesh.SetState(resource_state::kLoaded);
}

TEST_F(MeshNodes, NodeFilesWithoutMeshAreReportedAndNodeFilesNamingThemselvesStop)
{
    // A plain node file: read as a mesh node its version-0 layout is cut
    // short where the mesh should follow; nothing is marked loaded.
    SceneNode plain;
    Save(plain, "plain.node");
    MeshNode node;
    run.ClearBoxes();
    EXPECT_FALSE(node.LoadByName("plain.node"));
    EXPECT_NE(node.mesh.GetState(), 2u);
    EXPECT_TRUE(Shown("No mesh in node file: plain.node"));

    run.ClearBoxes();
    EXPECT_FALSE(node.LoadByName("missing.node"));
    EXPECT_TRUE(Shown("No mesh in node file: missing.node"));

    // A node file naming its own file as the mesh cannot recurse: the name
    // only looks up a registered mesh.
    const Bytes self = NamedMeshNode("self.node");
    std::ofstream(SceneTempFolder() / "self.node", std::ios::binary)
        .write(reinterpret_cast<const char*>(self.data()), static_cast<long>(self.size()));
    run.ClearBoxes();
    EXPECT_FALSE(node.LoadByName("self.node"));
    EXPECT_TRUE(run.Boxes().empty());
    EXPECT_EQ(node.mesh.GetId(), RSHash("self.node"));
    EXPECT_EQ(node.mesh.GetState(), 2u);
}
