#pragma once
// NodeHierarchy: the parent link and ordered children list shared by clocks and
// scene nodes. A node is linked through SetParent; destroying a node unlinks it
// from both sides, so no parent or child is left pointing at it.
#include <vector>

class NodeHierarchy {
public:
    NodeHierarchy() = default;
    ~NodeHierarchy();
    NodeHierarchy(const NodeHierarchy&) = delete;
    NodeHierarchy& operator=(const NodeHierarchy&) = delete;

    // Unlinks the node and leaves it with no parent and no children.
    void Reset();

    // Moves this node under `parent` (null: makes it a root). Parenting a node to
    // itself prints a line and changes nothing.
    void SetParent(NodeHierarchy* parent);

    // Low-level list edits used by SetParent; they do not touch the child's
    // parent link. AddChild ignores a child that is already present.
    void AddChild(NodeHierarchy* child);
    void RemoveChild(NodeHierarchy* child);

    // Leaves the parent and turns every child into a root.
    void DetachNode();

    NodeHierarchy* GetParent() const { return parent_; }
    const std::vector<NodeHierarchy*>& GetChildren() const { return children_; }

private:
    NodeHierarchy* parent_ = nullptr;
    std::vector<NodeHierarchy*> children_; // in joining order, each once
};
