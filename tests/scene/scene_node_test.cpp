#include "scene/scene_node.h"

#include <gtest/gtest.h>

#include "kernel/math/euler.h"
#include "kernel/math/rotation_matrix.h"
#include "scene_test_support.h"

namespace {
// Asks a node for something and keeps what comes back.
class Asker : public Component {
public:
    void OnMessage(ComponentMessage* message) override
    {
        ++answers;
        lastId = message->id;
        lastObject = message->Object();
    }
    void Ask(Component* node, uint32_t id)
    {
        ComponentMessage message;
        message.id = id;
        SendMessage(node, message);
    }
    int answers = 0;
    uint32_t lastId = 0;
    void* lastObject = nullptr;
};
} // namespace

TEST(SceneNode, BuiltAsAnIdentityPlainNode)
{
    SceneNode node;
    EXPECT_EQ(node.kind, scene_node_kind::kPlain);
    EXPECT_EQ(node.visible, 1);
    EXPECT_EQ(node.instancing, 1);
    EXPECT_EQ(node.isStatic, 0);
    EXPECT_EQ(node.radius, 0.0f);
    EXPECT_EQ(node.GetParentNode(), nullptr);
    EXPECT_EQ(alignof(SceneNode), 16u);
}

TEST(SceneNode, RootWorldMatrixIsScaleRotationTranslation)
{
    SceneNode node;
    node.transform.position = {1, 2, 3, 1};
    node.transform.scale = {2, 2, 2, 1};
    ExpectRows(*node.GetWorldMatrix(), {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {1, 2, 3, 1}});
}

TEST(SceneNode, WorldMatricesThroughAParentChainMatchHandWorkedValues)
{
    SceneNode root, middle, leaf;
    middle.SetParent(&root);
    leaf.SetParent(&middle);

    root.transform.position = {5, 0, 0, 1};
    root.transform.SetRotationEuler(0, 90, 0); // x -> -z, z -> x
    middle.transform.position = {0, 0, 1, 1};
    leaf.transform.position = {0, 1, 0, 1};
    leaf.transform.scale = {3, 1, 1, 1};
    leaf.transform.SetRotationEuler(0, 0, 90); // x -> y, y -> -x

    // The middle node sits one unit along the root's z, which points along +x.
    ExpectNear3(middle.GetWorldMatrix()->Row(3).XYZ(), {6, 0, 0});
    // The leaf: its own x axis is scaled by 3, turned to +y, unchanged by the
    // root's turn about y.
    const float4x4& world = *leaf.GetWorldMatrix();
    // Its z stays z under its own turn, then becomes x under the root's.
    ExpectRows(world, {{0, 3, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}, {6, 1, 0, 1}}, 1e-5f);
    ExpectNear3(TransformPoint({1, 0, 0}, world), {6, 4, 0});

    // A change of the root reaches the leaf at the next call.
    root.SetPosition({0, 0, 0, 1});
    ExpectNear3(leaf.GetWorldMatrix()->Row(3).XYZ(), {1, 1, 0});
}

TEST(SceneNode, AStaticNodeFreezesItsFirstWorldMatrix)
{
    SceneNode parent, fixed, moving;
    fixed.SetParent(&parent);
    moving.SetParent(&parent);
    fixed.isStatic = 1;
    parent.transform.position = {1, 0, 0, 1};
    EXPECT_FLOAT_EQ(fixed.GetWorldMatrix()->Row(3).x, 1.0f);
    EXPECT_EQ(fixed.worldMatrixValid, 1);
    parent.SetPosition({7, 0, 0, 1});
    fixed.SetPosition({0, 9, 0, 1});
    EXPECT_FLOAT_EQ(fixed.GetWorldMatrix()->Row(3).x, 1.0f);
    EXPECT_FLOAT_EQ(fixed.GetWorldMatrix()->Row(3).y, 0.0f);
    EXPECT_FLOAT_EQ(moving.GetWorldMatrix()->Row(3).x, 7.0f);
}

TEST(SceneNode, WorldRotationAgreesWithTheWorldRotationMatrix)
{
    SceneNode root, child;
    child.SetParent(&root);
    root.transform.SetRotationEuler(30, 0, 0);
    root.transform.position = {4, 5, 6, 1};
    child.transform.SetRotationEuler(0, 45, 20);
    child.transform.scale = {5, 5, 5, 1};
    float4x4 rotationMatrix;
    quat rotation;
    child.GetWorldRotationMatrix(rotationMatrix);
    child.GetWorldRotation(rotation);
    const float4x4 fromQuat = RotationMatrix(rotation);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(rotationMatrix.m[i], fromQuat.m[i], 1e-5f) << i;
    // Scale and translation play no part.
    EXPECT_NEAR(rotationMatrix(3, 3), 1.0f, 1e-6f);
    EXPECT_NEAR(rotationMatrix(3, 0), 0.0f, 1e-6f);
}

TEST(SceneNode, AnswersNodeAndWorldMatrixRequestsOnly)
{
    SceneNode node;
    Asker asker;
    asker.Ask(&node, IMSG_GIVE_SCENENODE);
    EXPECT_EQ(asker.answers, 1);
    EXPECT_EQ(asker.lastId, IMSG_SUPPLY_SCENENODE);
    EXPECT_EQ(asker.lastObject, static_cast<void*>(&node));

    asker.Ask(&node, IMSG_GIVE_WORLDMATRIX);
    EXPECT_EQ(asker.answers, 2);
    EXPECT_EQ(asker.lastId, IMSG_SUPPLY_WORLDMATRIX);
    EXPECT_EQ(asker.lastObject, static_cast<void*>(&node.transform));

    asker.Ask(&node, IMSG_GIVE_PHYSBODY);
    EXPECT_EQ(asker.answers, 2);
}

TEST(SceneNode, DestroyingANodeUnlinksParentAndChildren)
{
    SceneNode root, leaf;
    {
        SceneNode middle;
        middle.SetParent(&root);
        leaf.SetParent(&middle);
    }
    EXPECT_TRUE(root.GetChildren().empty());
    EXPECT_EQ(leaf.GetParentNode(), nullptr);
    leaf.transform.position = {1, 2, 3, 1};
    ExpectNear3(leaf.GetWorldMatrix()->Row(3).XYZ(), {1, 2, 3});
}

TEST(SceneNode, SettersMarkTheWorldMatrixOutOfDate)
{
    SceneNode node;
    node.GetWorldMatrix();
    EXPECT_EQ(node.worldDirty, 0);
    node.SetRotation(QuatFromEulerDegrees(0, 0, 90));
    EXPECT_EQ(node.worldDirty, 1);
    EXPECT_EQ(node.transform.rotationDirty, 1);
    EXPECT_EQ(node.transform.transformDirty, 1);
    ExpectNear3(TransformVector({1, 0, 0}, *node.GetWorldMatrix()), {0, 1, 0});
    EXPECT_EQ(node.worldDirty, 0);
}
