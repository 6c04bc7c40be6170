// The scene traversal: which nodes emit, in which order, the level of detail
// chosen from the projected radius, light nodes filling the frame's light
// list, the keep and enabled flags, the shadow gathering, a full queue, and
// the matrix arrays the renderer stages instances in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "render/frame/render_pass_list.h"
#include "render/nodes/light_node.h"
#include "scene/matrix_array.h"
#include "tests/render/draw_test_support.h"

using draw_test::DrawRig;
using draw_test::Floats;
using draw_test::QuadNode;
using draw_test::TestMaterial;

namespace {

// A mesh node with `subsets` empty subsets in its base set and, per level,
// the given subset count and switch distance.
struct LodNode {
    explicit LodNode(uint32_t subsets, std::vector<std::pair<uint32_t, float>> levels = {})
    {
        node.mesh.CreateUnique();
        node.mesh.AllocSubsets(subsets);
        MeshData* mesh = node.mesh.GetPayload();
        if (!levels.empty()) {
            node.mesh.AllocLods(static_cast<uint32_t>(levels.size()));
            for (size_t l = 0; l < levels.size(); ++l) {
                mesh->SelectLevel(static_cast<int>(l));
                node.mesh.AllocSubsets(levels[l].first);
                mesh->lodDistances.items[l] = levels[l].second;
            }
            mesh->SelectLevel(-1);
        }
        node.radius = 1.0f;
    }
    MeshData& Mesh() { return *node.mesh.GetPayload(); }
    // The record of subset k of the base set (level -1) or of a level.
    DrawRecord* Record(int level, uint32_t k)
    {
        MeshSubsetList& list = level < 0 ? Mesh().baseSubsets : Mesh().lodSubsets.items[level];
        return &list.items[k].drawRecord;
    }

    MeshNode node;
};

class Traversal : public DrawRig {
protected:
    void SetUp() override
    {
        DrawRig::SetUp();
        renderer->ResetFrameLists(); // the list is process-wide
    }
    void Gather(std::vector<SceneNode*> nodes)
    {
        layer.nodes = std::move(nodes);
        if (gatherer.layers.empty())
            gatherer.layers.push_back(&layer);
        gatherer.UpdateScene();
    }
    std::vector<DrawRecord*> Records()
    {
        RenderQueue& queue = gatherer.instanceList;
        return std::vector<DrawRecord*>(queue.items.items, queue.items.items + queue.Count());
    }

    SceneNodeRenderer gatherer;
    RenderLayer layer;
};

} // namespace

TEST_F(Traversal, OnlyVisibleMeshAndLightNodesOfEnabledLayersEmit)
{
    LodNode mesh(1);
    SceneNode plain;
    CameraNode cameraNode;
    LightNode light;
    LodNode hidden(1);
    hidden.node.visible = 0;
    Gather({&plain, &cameraNode, &hidden.node, &mesh.node, &light});
    EXPECT_EQ(Records(), std::vector<DrawRecord*>{mesh.Record(-1, 0)});
    EXPECT_EQ(gatherer.gatheredCount, 1u);
    EXPECT_EQ(renderer->lights, std::vector<LightRecord*>{&light.record});
    EXPECT_EQ(gatherer.instanceList.lightList, &renderer->lights);
    EXPECT_EQ(gatherer.currentNode, &light);

    layer.enabled = 0;
    gatherer.UpdateScene();
    EXPECT_TRUE(Records().empty());
}

TEST_F(Traversal, InstancesComeInNodeThenSubsetOrderWithTheNodesWorldMatrices)
{
    // One mesh of three subsets drawn by two nodes.
    LodNode first(3);
    MeshNode second;
    second.mesh.AttachById(first.node.mesh.GetId());
    second.SetPosition({5.0f, 0.0f, 0.0f, 1.0f});
    Gather({&first.node, &second});
    const std::vector<DrawRecord*> expected{first.Record(-1, 0), first.Record(-1, 1), first.Record(-1, 2),
                                            first.Record(-1, 0), first.Record(-1, 1), first.Record(-1, 2)};
    EXPECT_EQ(Records(), expected);
    const auto& matrices = gatherer.instanceList.matrices;
    ASSERT_EQ(matrices.size(), 6u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(matrices[i], &first.node.worldMatrix);
        EXPECT_EQ(matrices[3 + i], &second.worldMatrix);
    }
    EXPECT_EQ(second.worldMatrix(3, 0), 5.0f);
    for (DrawRecord* record : expected)
        EXPECT_EQ(record->filled, 1);
}

TEST_F(Traversal, WorldMatricesHaveTheBitsOfGetWorldMatrix)
{
    struct Placement {
        float4 position;
        quat rotation;
        float4 scale;
        uint8_t isStatic;
    };
    const Placement placements[] = {
        {{5.0f, -0.0f, 3.25f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, 0},
        {{-1.5f, 2.0f, 1e-7f, 1.0f}, {0.2f, -0.5f, 0.3f, 0.787401f}, {2.0f, 0.5f, -3.0f, 1.0f}, 0},
        {{1e20f, -3.0f, 0.1f, 1.0f}, {-0.70710677f, 0.0f, 0.0f, 0.70710677f}, {0.3f, 0.3f, 0.3f, 1.0f}, 1},
    };
    LodNode shared(1);
    std::vector<std::unique_ptr<MeshNode>> gathered, reference;
    std::vector<SceneNode*> order;
    for (const Placement& p : placements) {
        for (auto* list : {&gathered, &reference}) {
            list->push_back(std::make_unique<MeshNode>());
            MeshNode& node = *list->back();
            node.mesh.AttachById(shared.node.mesh.GetId());
            node.SetPosition(p.position);
            node.SetRotation(p.rotation);
            node.SetScale(p.scale);
            node.isStatic = p.isStatic;
        }
        order.push_back(gathered.back().get());
    }
    // A child goes through its parent's matrix too.
    gathered[0]->SetParent(gathered[1].get());
    reference[0]->SetParent(reference[1].get());
    Gather(order);
    for (size_t i = 0; i < gathered.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::memcmp(gathered[i]->worldMatrix.m, reference[i]->GetWorldMatrix()->m, sizeof(float4x4)), 0);
    }
}

TEST_F(Traversal, TheFirstNodeToDrawASubsetDecidesItsInstancing)
{
    TestMaterial material(run.Device());
    QuadNode single(material); // fills the record with instancing on
    EXPECT_EQ(single.Record().flags, kDrawRecordDefaultFlags);

    LodNode off(1), on(1);
    off.node.instancing = 0;
    Gather({&off.node, &on.node});
    EXPECT_EQ(off.Record(-1, 0)->flags, kDrawRecordNoInstancing);
    EXPECT_EQ(on.Record(-1, 0)->flags, kDrawRecordDefaultFlags);
    // A record is filled once: later nodes do not change its flags.
    MeshNode shared;
    shared.mesh.AttachById(off.node.mesh.GetId());
    Gather({&shared});
    EXPECT_EQ(Records(), std::vector<DrawRecord*>{off.Record(-1, 0)});
    EXPECT_EQ(off.Record(-1, 0)->flags, kDrawRecordNoInstancing);
}

TEST_F(Traversal, KeepAndEnabledDecideWhatARunClearsAndEmits)
{
    LodNode mesh(1);
    struct Case {
        uint8_t keep, enabled;
        uint32_t count; // after a run that follows one ordinary run
    };
    const Case cases[] = {{0, 1, 1}, {0, 0, 0}, {1, 1, 2}, {1, 0, 1}};
    for (const Case& c : cases) {
        gatherer.keep = 0;
        gatherer.enabled = 1;
        Gather({&mesh.node});
        gatherer.keep = c.keep;
        gatherer.enabled = c.enabled;
        gatherer.UpdateScene();
        EXPECT_EQ(gatherer.instanceList.Count(), c.count) << int(c.keep) << int(c.enabled);
        EXPECT_EQ(gatherer.gatheredCount, c.count) << int(c.keep) << int(c.enabled);
        EXPECT_EQ(gatherer.instanceList.matrices.size(), c.count);
    }
}

TEST_F(Traversal, AFullQueueReportsAndStartsAgainAtSlotZeroKeepingItsMatrixInStep)
{
    // instancingBufferSize 8: the ninth instance of a run overflows.
    std::vector<std::unique_ptr<LodNode>> nodes;
    std::vector<SceneNode*> list;
    for (int i = 0; i < 9; ++i) {
        nodes.push_back(std::make_unique<LodNode>(1));
        nodes.back()->node.SetPosition({static_cast<float>(i), 0.0f, 0.0f, 1.0f});
        list.push_back(&nodes.back()->node);
    }
    run.ClearBoxes();
    Gather(list);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text, ErrorBoxText("staticHeapVector overflow.\nAn instance list holds [Graphics] "
                                                "instancingBufferSize=8 instances, too few for what this pass draws.\n"));
    RenderQueue& queue = gatherer.instanceList;
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.items[0], nodes[8]->Record(-1, 0));
    EXPECT_EQ(queue.matrices[0], &nodes[8]->node.worldMatrix); // the entry's own matrix
    EXPECT_EQ(gatherer.gatheredCount, 9u);
}

TEST_F(Traversal, AShadowGatheringSkipsNonCastersAndLights)
{
    LodNode caster(1), other(1);
    other.node.castsShadow = 0;
    LightNode light;
    shadowGathering = 1;
    Gather({&caster.node, &other.node, &light});
    shadowGathering = 0;
    EXPECT_EQ(Records(), std::vector<DrawRecord*>{caster.Record(-1, 0)});
    EXPECT_TRUE(renderer->lights.empty());
    EXPECT_EQ(GetFrameLightNodes().count, 0u);
    Gather({&caster.node, &other.node, &light});
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(renderer->lights.size(), 1u);
}

TEST_F(Traversal, TheLevelOfDetailFollowsTheProjectedRadius)
{
    // Camera at the origin looking along +z, the node 10 ahead with radius 1:
    // the projected radius is half the projection's x scale over 10.
    CameraNode eye;
    eye.ApplyCamera();
    float4 a, b;
    eye.ProjectToViewport(a, {0.0f, 0.0f, 10.0f, 1.0f}, false, true, false);
    eye.ProjectToViewport(b, {1.0f, 0.0f, 10.0f, 1.0f}, false, true, false);
    const float d = std::fabs(a.x - b.x);
    EXPECT_FLOAT_EQ(d, 0.5f * eye.GetProjectionMatrix()->m[0] / 10.0f);
    struct Case {
        std::vector<float> distances;
        int level;
        uint32_t subsets; // emitted
    };
    const Case cases[] = {
        {{d / 2, d / 4}, -1, 3},      // larger than every distance: the base set
        {{d * 2, d / 2}, 0, 2},       // between: level 0
        {{d * 2, d, d / 2}, 1, 1},    // equal to a distance: the coarser side
        {{d * 2, d * 1.5f}, 1, 1},    // below every distance: the last level
        {{d * 2, d * 1.5f, d}, 2, 0}, // a last level without subsets emits nothing
    };
    for (const Case& c : cases) {
        std::vector<std::pair<uint32_t, float>> levels;
        const uint32_t counts[] = {2, 1, 0};
        for (size_t i = 0; i < c.distances.size(); ++i)
            levels.push_back({counts[i], c.distances[i]});
        LodNode node(3, levels);
        node.node.SetPosition({0.0f, 0.0f, 10.0f, 1.0f});
        EXPECT_EQ(ChooseMeshLevel(node.Mesh(), *node.node.GetWorldMatrix(), 1.0f, eye), c.level);
        Gather({&node.node});
        EXPECT_EQ(node.Mesh().CurrentLevel(), c.level);
        ASSERT_EQ(Records().size(), c.subsets);
        for (uint32_t k = 0; k < c.subsets; ++k)
            EXPECT_EQ(Records()[k], node.Record(c.level, k));
    }

    // The offset point takes the fourth component of the view matrix's first
    // column too: seen from (1000, 0, 0) that is -1000, so the point is
    // (1001, 0, 10, -999), far across the view, and the base set is drawn
    // where the same node seen from the origin draws its last level.
    LodNode moved(3, {{2, d * 2}, {1, d * 1.5f}});
    eye.SetPosition({1000.0f, 0.0f, 0.0f, 1.0f});
    moved.node.SetPosition({1000.0f, 0.0f, 10.0f, 1.0f});
    EXPECT_EQ(ChooseMeshLevel(moved.Mesh(), *moved.node.GetWorldMatrix(), 1.0f, eye), -1);
}

TEST_F(Traversal, LightNodesFillTheFrameLightList)
{
    SceneNode parent;
    LightNode sun(kLightDirectional), sky(kLightAmbient), skyToo(kLightAmbient), haze(kLightFog);
    sun.SetParent(&parent);
    parent.SetRotation(QuatFromAxisAngle({1.0f, 0.0f, 0.0f}, 1.0f)); // not applied to the direction
    sun.SetRotation(QuatFromAxisAngle({0.0f, 1.0f, 0.0f}, 1.5707964f));
    sun.colour = {1.0f, 0.9f, 0.8f, 1.0f};
    sun.lightFlag = 3;
    sky.colour = {0.1f, 0.1f, 0.1f, 0.0f};
    skyToo.colour = {0.2f, 0.3f, 0.4f, 0.5f};
    haze.colour = {0.5f, 0.5f, 0.5f, 1.0f};

    renderer->ResetFrameLists();
    Gather({&sun, &sky, &haze, &skyToo});
    EXPECT_EQ(sun.GetParentNode(), &parent);
    ASSERT_EQ(renderer->lights, (std::vector<LightRecord*>{&sun.record, &sky.record, &haze.record}));
    EXPECT_EQ(sun.record.colour.y, 0.9f);
    EXPECT_NEAR(sun.record.direction.x, 1.0f, 1e-6f);
    EXPECT_NEAR(sun.record.direction.y, 0.0f, 1e-6f);
    EXPECT_NEAR(sun.record.direction.z, 0.0f, 1e-6f);
    EXPECT_EQ(sun.record.direction.w, 0.0f);
    EXPECT_EQ(sun.record.lightType, kLightDirectional);
    EXPECT_EQ(sun.record.lightFlag, 3);
    // The second ambient light adds to the first ambient record only.
    EXPECT_FLOAT_EQ(sky.record.colour.x, 0.3f);
    EXPECT_FLOAT_EQ(sky.record.colour.w, 0.5f);
    EXPECT_EQ(sun.record.colour.x, 1.0f);
    EXPECT_EQ(haze.record.colour.x, 0.5f);
    EXPECT_EQ(gatherer.currentLightRecord, &haze.record);

    // A second template in the frame appends the same lights again; the
    // frame light-node list holds each node once.
    SceneNodeRenderer another;
    RenderLayer otherLayer;
    otherLayer.nodes = {&sun, &sky, &haze, &skyToo};
    another.layers.push_back(&otherLayer);
    another.UpdateScene();
    EXPECT_EQ(renderer->lights.size(), 6u);
    FrameLightNodes& met = GetFrameLightNodes();
    ASSERT_EQ(met.count, 3u);
    EXPECT_EQ(met[0], &sun);
    EXPECT_EQ(met[1], &sky);
    EXPECT_EQ(met[2], &haze);

    renderer->ResetFrameLists();
    EXPECT_TRUE(renderer->lights.empty());
    EXPECT_EQ(met.count, 0u);
}

TEST(MatrixArrays, AreAlignedIdentityMatricesOrNothing)
{
    struct Case {
        uint32_t count;
        bool made;
    };
    const Case cases[] = {{1, true}, {100, true}, {0, true}};
    for (const Case& c : cases) {
        MatrixArray array;
        AllocMatrixArray(array, c.count);
        EXPECT_EQ(array.count, c.count);
        EXPECT_EQ(array.matrices != nullptr, c.made) << c.count;
        if (!array.matrices)
            continue;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(array.matrices) % 16, 0u);
        for (uint32_t i = 0; i < c.count; ++i)
            EXPECT_EQ(Floats(array.matrices[i]), Floats(IdentityMatrix())) << i;
    }
    // Made again, the record gives back its old block first.
    MatrixArray array;
    AllocMatrixArray(array, 4);
    array.matrices[2](0, 1) = 7.0f;
    AllocMatrixArray(array, 3);
    EXPECT_EQ(array.count, 3u);
    EXPECT_EQ(Floats(array.matrices[2]), Floats(IdentityMatrix()));
}
