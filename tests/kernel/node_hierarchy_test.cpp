#include "kernel/node_hierarchy.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::vector<NodeHierarchy*> Kids(const NodeHierarchy& node)
{
    return node.GetChildren();
}

} // namespace

TEST(NodeHierarchy, ParentingToItselfPrintsAndChangesNothing)
{
    NodeHierarchy parent;
    NodeHierarchy node;
    node.SetParent(&parent);

    testing::internal::CaptureStdout();
    node.SetParent(&node);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't parent to the same node!\n");
    EXPECT_EQ(node.GetParent(), &parent);
    EXPECT_TRUE(node.GetChildren().empty());
    EXPECT_EQ(Kids(parent), std::vector<NodeHierarchy*>{&node});
}

TEST(NodeHierarchy, ChildrenKeepJoiningOrderAndAppearOnce)
{
    NodeHierarchy parent;
    NodeHierarchy a, b, c;
    a.SetParent(&parent);
    b.SetParent(&parent);
    b.SetParent(&parent);
    c.SetParent(&parent);
    parent.AddChild(&a);
    EXPECT_EQ(Kids(parent), (std::vector<NodeHierarchy*>{&a, &b, &c}));

    parent.RemoveChild(&a);
    EXPECT_EQ(Kids(parent), (std::vector<NodeHierarchy*>{&b, &c}));
    parent.RemoveChild(&a); // absent: nothing happens
    EXPECT_EQ(Kids(parent), (std::vector<NodeHierarchy*>{&b, &c}));
}

TEST(NodeHierarchy, ReparentingLeavesTheOldParent)
{
    auto oldParent = std::make_unique<NodeHierarchy>();
    NodeHierarchy newParent;
    NodeHierarchy node;
    node.SetParent(oldParent.get());
    node.SetParent(&newParent);

    EXPECT_EQ(node.GetParent(), &newParent);
    EXPECT_TRUE(oldParent->GetChildren().empty());
    EXPECT_EQ(Kids(newParent), std::vector<NodeHierarchy*>{&node});

    // The old parent must not hold the node any more when either dies.
    oldParent.reset();
    EXPECT_EQ(node.GetParent(), &newParent);

    node.SetParent(nullptr);
    EXPECT_EQ(node.GetParent(), nullptr);
    EXPECT_TRUE(newParent.GetChildren().empty());
}

TEST(NodeHierarchy, DestroyingAParentMakesItsChildrenRoots)
{
    NodeHierarchy a, b;
    {
        NodeHierarchy parent;
        a.SetParent(&parent);
        b.SetParent(&parent);
    }
    EXPECT_EQ(a.GetParent(), nullptr);
    EXPECT_EQ(b.GetParent(), nullptr);
}

TEST(NodeHierarchy, DestroyingAChildLeavesItsParentsList)
{
    NodeHierarchy parent;
    NodeHierarchy first;
    {
        NodeHierarchy gone;
        first.SetParent(&parent);
        gone.SetParent(&parent);
    }
    EXPECT_EQ(Kids(parent), std::vector<NodeHierarchy*>{&first});
}

TEST(NodeHierarchy, DetachAndResetUnlinkBothWays)
{
    NodeHierarchy grand, node, child;
    node.SetParent(&grand);
    child.SetParent(&node);

    node.DetachNode();
    EXPECT_EQ(node.GetParent(), nullptr);
    EXPECT_TRUE(node.GetChildren().empty());
    EXPECT_TRUE(grand.GetChildren().empty());
    EXPECT_EQ(child.GetParent(), nullptr);

    node.SetParent(&grand);
    child.SetParent(&node);
    node.Reset();
    EXPECT_TRUE(grand.GetChildren().empty());
    EXPECT_EQ(child.GetParent(), nullptr);
}
