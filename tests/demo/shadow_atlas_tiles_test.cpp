// The shadow casters' world positions (taken from their meshes' first bounding
// centres through their world matrices, looked up by name in a scene) and the
// four atlas tiles cut from a real 512 x 512 render texture.
#include "demo/shadow_atlas_tiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/math/quat.h"
#include "platform/gfx/device/format.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/textures/texture_resource.h"
#include "testing/message_box_script.h"
#include "tests/render/device_fixture.h"

namespace {

void ExpectExactly(const float4& got, float x, float y, float z, float w)
{
    EXPECT_EQ(got.x, x);
    EXPECT_EQ(got.y, y);
    EXPECT_EQ(got.z, z);
    EXPECT_EQ(got.w, w);
}

// A mesh whose subsets have the given bounding centres, in order.
void GiveSubsets(MeshNode& node, const std::vector<float4>& centres)
{
    node.mesh.CreateUnique();
    node.mesh.AllocSubsets(static_cast<uint32_t>(centres.size()));
    MeshSubsetList& subsets = *node.mesh.GetPayload()->currentSubsets;
    for (size_t i = 0; i < centres.size(); ++i)
        subsets.items[i].GetPayload()->subsetValues = centres[i];
}

class CasterPositions : public ::testing::Test {
protected:
    CasterPositions()
    {
        scene.CreateUnique();
        scene.Nodes()->Allocate(8);
    }

    template <class T>
    T* Add(const char* name)
    {
        T* node = new T;
        scene.Nodes()->Push() = node;
        node->SetName(name);
        return node;
    }

    MeshNode* AddCaster(const char* name, const float4& centre, const float4& position)
    {
        MeshNode* node = Add<MeshNode>(name);
        GiveSubsets(*node, {centre});
        node->SetPosition(position);
        return node;
    }

    std::string BoxTexts() const
    {
        std::string all;
        for (const auto& box : boxes.Shown())
            all += box.text.substr(0, box.text.find_first_of("\r\n")) + "|";
        return all;
    }

    platform::testing::ScriptedMessageBoxes boxes;
    Scene scene;
    float4 positions[kCasterCount];
};

TEST_F(CasterPositions, TheCentreIsCarriedByTheWorldMatrixWithAllFourLanes)
{
    // A parentless node moved to (2, 3, 4): the point centre (1, 0, 0, 1) lands on (3, 3, 4, 1).
    MeshNode* moved = AddCaster("moved", {1, 0, 0, 1}, {2, 3, 4, 1});
    float4 position;
    ASSERT_TRUE(CasterPosition(moved, position));
    ExpectExactly(position, 3, 3, 4, 1);

    // Turned half a turn about y and doubled: (1, 0, 3) scales to (2, 0, 6) and
    // turns to (-2, 0, -6); as a point it then moves by (5, 6, 7).
    MeshNode* turned = AddCaster("turned", {1, 0, 3, 1}, {5, 6, 7, 1});
    turned->SetRotation(quat{0, 1, 0, 0});
    turned->SetScale({2, 2, 2, 1});
    ASSERT_TRUE(CasterPosition(turned, position));
    ExpectExactly(position, 3, 6, 1, 1);

    // The same centre with w = 0 takes no translation: rotated and scaled only.
    turned->mesh.GetPayload()->currentSubsets->items[0].GetPayload()->subsetValues = float4{1, 0, 3, 0};
    ASSERT_TRUE(CasterPosition(turned, position));
    ExpectExactly(position, -2, 0, -6, 0);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CasterPositions, ParentsCountAndTheNodesOwnPlacementIsLeftAlone)
{
    SceneNode* base = Add<SceneNode>("base");
    base->SetPosition({1, 2, 3, 1});
    base->SetScale({2, 2, 2, 1});
    MeshNode* child = AddCaster("child", {0, 0, 0, 1}, {0, 0, 5, 1});
    child->SetParent(base);

    float4 position;
    ASSERT_TRUE(CasterPosition(child, position));
    // (0, 0, 5) doubled by the parent and moved by its (1, 2, 3).
    ExpectExactly(position, 1, 2, 13, 1);
    ExpectExactly(child->transform.position, 0, 0, 5, 1);
    ExpectExactly(base->transform.scale, 2, 2, 2, 1);
    EXPECT_EQ(child->worldDirty, 0) << "the cached world matrix is brought up to date";
}

TEST_F(CasterPositions, OnlyTheFirstSubsetCounts)
{
    MeshNode* node = Add<MeshNode>("two");
    GiveSubsets(*node, {{7, 8, 9, 1}, {100, 100, 100, 1}});
    float4 position;
    ASSERT_TRUE(CasterPosition(node, position));
    ExpectExactly(position, 7, 8, 9, 1);
}

TEST_F(CasterPositions, TheFourCastersAreFoundByNameAndStoredInCasterOrder)
{
    // Listed out of order and among other nodes.
    AddCaster("Object03", {0, 0, 0, 1}, {30, 0, 0, 1});
    Add<CameraNode>("camera");
    AddCaster("Object01", {0, 0, 0, 1}, {10, 0, 0, 1});
    AddCaster("Object04", {1, 1, 1, 1}, {40, 0, 0, 1});
    Add<SceneNode>("group");
    AddCaster("Object02", {0, 0, 0, 1}, {20, 0, 0, 1});

    EXPECT_TRUE(ComputeCasterPositions(scene, positions));
    ExpectExactly(positions[0], 10, 0, 0, 1);
    ExpectExactly(positions[1], 20, 0, 0, 1);
    ExpectExactly(positions[2], 30, 0, 0, 1);
    ExpectExactly(positions[3], 41, 1, 1, 1);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CasterPositions, AnUnusableCasterIsReportedAndKeepsItsSlotWhileTheOthersAreFilled)
{
    AddCaster("Object01", {0, 0, 0, 1}, {10, 0, 0, 1});
    Add<SceneNode>("Object02");           // not a mesh node
    Add<MeshNode>("Object04");            // a mesh node with no mesh at all
    // Object03 is missing.
    positions[2] = float4{9, 9, 9, 9};

    EXPECT_FALSE(ComputeCasterPositions(scene, positions));
    ExpectExactly(positions[0], 10, 0, 0, 1);
    ExpectExactly(positions[1], 0, 0, 0, 0);
    ExpectExactly(positions[2], 9, 9, 9, 9);
    ExpectExactly(positions[3], 0, 0, 0, 0);
    EXPECT_EQ(BoxTexts(), "Caster node has no mesh subset: Object02|Can't find node: Object03|"
                          "Caster node has no mesh subset: Object04|");
}

TEST_F(CasterPositions, AMeshWithoutSubsetsAndANullNodeAreRefused)
{
    MeshNode* empty = Add<MeshNode>("empty");
    empty->mesh.CreateUnique();
    float4 position{1, 2, 3, 4};
    EXPECT_FALSE(CasterPosition(empty, position));
    EXPECT_FALSE(CasterPosition(nullptr, position));
    ExpectExactly(position, 1, 2, 3, 4);
    EXPECT_EQ(BoxTexts(), "Caster node has no mesh subset: empty|");
}

TEST_F(CasterPositions, AnEmptySceneHandleFindsNothing)
{
    Scene none;
    EXPECT_FALSE(ComputeCasterPositions(none, positions));
    EXPECT_EQ(boxes.Shown().size(), kCasterCount);
    for (const float4& p : positions)
        ExpectExactly(p, 0, 0, 0, 0);
}

TEST(AtlasTiles, EachTileIsAQuarterOfTheAtlasSharingItsSurfacesAndDepthRange)
{
    render_test::DeviceRun run;
    ASSERT_TRUE(run.Start());
    TextureResource atlas;
    atlas.InitRenderTexture(kShadowAtlasSize, kShadowAtlasSize, gfx::kFormatG32R32F, gfx::kFormatD24X8,
                            gfx::kUsageRenderTarget, gfx::kPoolDefault, 1);
    ASSERT_NE(atlas.GetPayload(), nullptr);
    const RenderTargetRecord& whole = atlas.GetPayload()->target;
    ASSERT_NE(whole.colour, nullptr);
    ASSERT_NE(whole.depthStencil, nullptr);

    // Whatever the tiles held before is overwritten.
    RenderTargetRecord tiles[kCasterCount];
    for (RenderTargetRecord& tile : tiles)
        tile.viewport = gfx::Viewport{7, 7, 7, 7, 0.5f, 0.5f};
    FillAtlasTiles(whole, tiles);

    const uint32_t expected[kCasterCount][2] = {{0, 0}, {256, 0}, {0, 256}, {256, 256}};
    for (uint32_t i = 0; i < kCasterCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tiles[i].viewport.x, expected[i][0]);
        EXPECT_EQ(tiles[i].viewport.y, expected[i][1]);
        EXPECT_EQ(tiles[i].viewport.width, 256u);
        EXPECT_EQ(tiles[i].viewport.height, 256u);
        EXPECT_EQ(tiles[i].viewport.minZ, 0.0f);
        EXPECT_EQ(tiles[i].viewport.maxZ, 1.0f);
        EXPECT_EQ(tiles[i].colour, whole.colour);
        EXPECT_EQ(tiles[i].depthStencil, whole.depthStencil);
    }
    // The atlas's own record is untouched.
    EXPECT_EQ(whole.viewport.width, kShadowAtlasSize);
    EXPECT_EQ(whole.viewport.height, kShadowAtlasSize);

    // Every texel of the atlas lies in exactly one tile.
    std::vector<int> covered(kShadowAtlasSize * kShadowAtlasSize, 0);
    for (const RenderTargetRecord& tile : tiles) {
        ASSERT_LE(tile.viewport.x + tile.viewport.width, kShadowAtlasSize);
        ASSERT_LE(tile.viewport.y + tile.viewport.height, kShadowAtlasSize);
        for (uint32_t y = tile.viewport.y; y < tile.viewport.y + tile.viewport.height; ++y)
            for (uint32_t x = tile.viewport.x; x < tile.viewport.x + tile.viewport.width; ++x)
                ++covered[y * kShadowAtlasSize + x];
    }
    for (int count : covered)
        ASSERT_EQ(count, 1);
}

} // namespace
