#include "kernel/node_hierarchy.h"

#include <algorithm>
#include <iostream>

NodeHierarchy::~NodeHierarchy()
{
    DetachNode();
}

void NodeHierarchy::Reset()
{
    DetachNode();
}

void NodeHierarchy::SetParent(NodeHierarchy* parent)
{
    if (parent == this) {
        std::cout << "Can't parent to the same node!\n";
        return;
    }
    // Leave the old parent's list, or it would keep a stale (later dangling) entry.
    if (parent_ && parent_ != parent)
        parent_->RemoveChild(this);
    parent_ = parent;
    if (parent)
        parent->AddChild(this);
}

void NodeHierarchy::AddChild(NodeHierarchy* child)
{
    if (std::find(children_.begin(), children_.end(), child) == children_.end())
        children_.push_back(child);
}

void NodeHierarchy::RemoveChild(NodeHierarchy* child)
{
    const auto it = std::find(children_.begin(), children_.end(), child);
    if (it != children_.end())
        children_.erase(it);
}

void NodeHierarchy::DetachNode()
{
    if (parent_) {
        parent_->RemoveChild(this);
        parent_ = nullptr;
    }
    for (NodeHierarchy* child : children_) {
        if (child->parent_ == this)
            child->parent_ = nullptr;
    }
    children_.clear();
    children_.shrink_to_fit();
}
