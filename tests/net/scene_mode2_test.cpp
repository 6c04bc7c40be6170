// The mode-2 set-up: what it shows, hides and sets, its listeners, and where
// it places and turns the aligned and the follower node.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernel/math/euler.h"
#include "net/remote_scene.h"
#include "net/value_listener.h"
#include "render/effects/effect.h"
#include "testing/test_files.h"

namespace {

// Records every value; may add an entry to its list or change the scene's value.
class Recorder : public ValueListener {
public:
    void OnValue(float value) override
    {
        values.push_back(value);
        if (grow)
            grow->push_back(next);
        if (changeTo)
            *changeTo = 12345.0f;
    }

    std::vector<float> values;
    std::vector<ValueListener*>* grow = nullptr;
    ValueListener* next = nullptr;
    float* changeTo = nullptr;
};

float3 Forward(SceneNode& node)
{
    float4x4 rotation;
    return node.GetWorldRotationMatrix(rotation).Row(2).XYZ();
}

void ExpectNear3(const float3& a, const float3& b, float tolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

void ExpectSameRotation(const quat& a, const quat& b)
{
    const float sign = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z < 0.0f ? -1.0f : 1.0f;
    EXPECT_NEAR(a.x, sign * b.x, 1e-5f);
    EXPECT_NEAR(a.y, sign * b.y, 1e-5f);
    EXPECT_NEAR(a.z, sign * b.z, 1e-5f);
    EXPECT_NEAR(a.w, sign * b.w, 1e-5f);
}

class SceneMode2 : public ::testing::Test {
protected:
    // The aligned node's forward axis as its cached matrix has it.
    void TurnAligned(const quat& rotation)
    {
        scene.alignedNode.SetRotation(rotation);
        scene.alignedNode.transform.RefreshMatrices();
    }

    RemoteScene scene;
};

} // namespace

TEST_F(SceneMode2, PresentationParametersAndTimer)
{
    for (MaterialResource& material : scene.frameEffects)
        MakeUniqueMaterial(material);
    *scene.frameEffects[2].GetEffect()->GetFloatParam("vFrame") = 3.0f;
    MakeUniqueMaterial(scene.tintEffect);
    SceneNode modeTwo;
    modeTwo.visible = 0;
    scene.modeTwoNode = &modeTwo;
    scene.normalGroupA.CreateMeshNodes(1); // fewer than two nodes
    scene.modeTwoGroup.CreateMeshNodes(4);
    for (uint32_t i = 0; i < 4; ++i)
        scene.modeTwoGroup.Nodes()->items[i]->visible = 0;
    scene.forwardOffset = float4{1, 2, 3, 4};
    scene.timerLimit = 77.0;
    scene.listenerValue = 2.5f;

    scene.SetupSceneMode2();
    for (MaterialResource& material : scene.frameEffects)
        EXPECT_EQ(material.GetEffect()->params.Group("").floats.at("vFrame"), 100.0f);
    const float4 tint = scene.tintEffect.GetEffect()->params.Group("").vectors.at("diffuseColor");
    EXPECT_EQ(tint.x, 1.0f);
    EXPECT_EQ(tint.w, 1.0f);
    EXPECT_EQ(modeTwo.visible, 1);
    EXPECT_EQ(scene.normalGroupA.Nodes()->items[0]->visible, 0);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(scene.modeTwoGroup.Nodes()->items[i]->visible, 1);
    for (const MeshNode& node : scene.normalNodes)
        EXPECT_EQ(node.visible, 0);
    EXPECT_EQ(scene.timerLimit, 0.0);
    EXPECT_EQ(scene.forwardOffset.x, 0.0f);
    EXPECT_EQ(scene.forwardOffset.w, 0.0f);
}

TEST_F(SceneMode2, ListenersAreCalledInOrderWithTheValueReadOnce)
{
    Recorder first, second, late, fixedA, fixedB;
    first.changeTo = &scene.listenerValue; // does not change what the others get
    second.grow = &scene.valueListeners;   // an entry added during the walk is called too
    second.next = &late;
    scene.listenerValue = 0.75f;
    scene.valueListeners = {&first, nullptr, &second};
    scene.fixedValueListeners = {&fixedA, &fixedB, &fixedA};

    scene.SetupSceneMode2();
    EXPECT_EQ(first.values, std::vector<float>{0.75f});
    EXPECT_EQ(second.values, std::vector<float>{0.75f});
    EXPECT_EQ(late.values, std::vector<float>{0.75f});
    EXPECT_EQ(fixedA.values, (std::vector<float>{100.0f, 100.0f}));
    EXPECT_EQ(fixedB.values, std::vector<float>{100.0f});
    EXPECT_EQ(scene.timerLimit, 0.0);

    // Nothing to call: nothing happens.
    RemoteScene empty;
    empty.SetupSceneMode2();
    EXPECT_EQ(empty.timerLimit, 0.0);
}

TEST_F(SceneMode2, TheAlignedNodeGoesToTheAnchorAndTurnsOntoTheProbesForward)
{
    SceneNode anchor, anchorParent;
    anchorParent.SetPosition(float4{100, 0, 0, 1});
    anchor.SetParent(&anchorParent);
    anchor.SetPosition(float4{1, 2, 3, 1});
    scene.anchorNode = &anchor;
    scene.alignedNodeOffset = float4{0.5f, 0.5f, 0.5f, 0.0f};
    SceneNode alignedParent;
    alignedParent.SetPosition(float4{-50, 0, 0, 1});
    scene.alignedNode.SetParent(&alignedParent); // written as its own value, no conversion

    struct Case {
        const char* name;
        quat probe;
        quat aligned;
        bool turns;
    };
    const Case cases[] = {
        {"a quarter turn", QuatFromEulerDegrees(0, 90, 0), quat{}, true},
        {"a small tilt", QuatFromEulerDegrees(20, 0, 0), QuatFromEulerDegrees(0, 0, 45), true},
        {"opposite axes", QuatFromEulerDegrees(0, 180, 0), quat{}, true},
        {"opposite, the aligned one tilted", QuatFromEulerDegrees(90, 0, 0), QuatFromEulerDegrees(-90, 0, 0), true},
        {"already along", QuatFromEulerDegrees(0, 0, 30), quat{}, false}, // forward unchanged by roll
        {"within the threshold", QuatFromEulerDegrees(0.1f, 0, 0), quat{}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scene.probeNode.SetRotation(c.probe);
        TurnAligned(c.aligned);
        scene.alignedNode.transform.rotationDirty = 0;
        scene.SetupSceneMode2();
        ExpectNear3(scene.alignedNode.transform.position.XYZ(), {101.5f, 2.5f, 3.5f});
        EXPECT_EQ(scene.alignedNode.transform.position.w, 1.0f);
        if (c.turns) {
            EXPECT_EQ(scene.alignedNode.transform.rotationDirty, 1);
            scene.alignedNode.transform.RefreshMatrices();
            ExpectNear3(scene.alignedNode.transform.rotationMatrix.Row(2).XYZ(), Forward(scene.probeNode), 1e-4f);
            const quat& q = scene.alignedNode.transform.rotation;
            EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-4f); // never collapses
        } else {
            EXPECT_EQ(scene.alignedNode.transform.rotationDirty, 0);
            ExpectSameRotation(scene.alignedNode.transform.rotation, c.aligned);
        }
    }
    scene.alignedNode.SetParent(nullptr);
}

TEST_F(SceneMode2, TheTurnStartsFromTheCachedAxisAndAppliesToTheCurrentRotation)
{
    scene.probeNode.SetRotation(QuatFromEulerDegrees(0, 90, 0)); // forward +x
    TurnAligned(quat{});                                          // cached forward +z
    const quat current = QuatFromEulerDegrees(0, 0, 90);          // not yet in the cache
    scene.alignedNode.transform.rotation = current;
    scene.SetupSceneMode2();
    // The turn from +z to +x (90 degrees about +y) applied on the left of the current rotation.
    ExpectSameRotation(scene.alignedNode.transform.rotation,
                       QuatMultiply(QuatFromEulerDegrees(0, 90, 0), current));
}

TEST_F(SceneMode2, TheFollowerTakesTheAnchorsPositionAndTheProbesRotationInWorldSpace)
{
    SceneNode anchor;
    anchor.SetPosition(float4{4, 5, 6, 1});
    scene.anchorNode = &anchor;
    const quat probe = QuatFromEulerDegrees(10, 20, 30);
    scene.probeNode.SetRotation(probe);

    SceneNode free;
    scene.followerNode = &free;
    scene.SetupSceneMode2();
    ExpectNear3(free.transform.position.XYZ(), {4, 5, 6});
    ExpectSameRotation(free.transform.rotation, probe);

    SceneNode parent, grandparent, child;
    grandparent.SetRotation(QuatFromEulerDegrees(0, 45, 0));
    grandparent.SetPosition(float4{1, 1, 1, 1});
    parent.SetParent(&grandparent);
    parent.SetRotation(QuatFromEulerDegrees(30, 0, 10));
    parent.SetPosition(float4{-3, 0, 2, 1});
    child.SetParent(&parent);
    scene.followerNode = &child;
    scene.SetupSceneMode2();
    ExpectNear3(child.GetWorldMatrix()->Row(3).XYZ(), {4, 5, 6}, 1e-4f);
    quat world;
    ExpectSameRotation(child.GetWorldRotation(world), probe);

    // A parent without an inverse leaves the position as it was.
    parent.SetScale(float4{0, 0, 0, 1});
    child.SetPosition(float4{7, 7, 7, 1});
    scene.SetupSceneMode2();
    ExpectNear3(child.transform.position.XYZ(), {7, 7, 7});
}
